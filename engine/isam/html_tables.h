// HtmlTables: the tables of an HTML page as rows of cell texts. A forgiving
// reader of real pages: unclosed cells and rows, tables inside cells (each a
// table of its own), colspan, <br> as a line break, character references,
// comments, scripts and styles skipped. The character set comes from a
// byte-order mark, else a <meta> charset in the first 1,024 bytes, else UTF-8
// with stray bytes read as Windows-1252.
#pragma once
#include <string>
#include <vector>

namespace kevra {

struct HtmlCell {
  std::string text;  // whitespace collapsed, <br> as "\n"
  bool header = false;  // a <th>, or a cell of a <thead> row
  size_t column = 0;    // where the cell starts in its row
  size_t span = 1;      // columns it covers (colspan)
};

struct HtmlTable {
  std::string caption;
  // Each row's cells in column order. A cell spanning columns is kept once:
  // the columns it covers past its own are empty.
  std::vector<std::vector<HtmlCell>> rows;
  // A row had a filled cell at or past the column limit: no table can be made
  // of it, so its rows were dropped as soon as that was seen.
  bool tooWide = false;
};

struct HtmlDocument {
  std::string title;
  std::vector<HtmlTable> tables;  // document order (by their start tag)
};

// What one page may expand to. Cells past the column limit that hold nothing
// (filler of a wide colspan) are dropped; a filled one marks its table too
// wide. Past `cells` kept cells and rows, or `bytes` of file, the page is
// refused.
struct HtmlLimits {
  size_t columns = 255;          // the most fields a table can have
  size_t cells = 4'000'000;      // cells and rows kept, all tables together
  size_t bytes = 256u << 20;     // size of the file
};

// Throws EngineError when the page exceeds `limits`.
HtmlDocument parseHtml(const std::string& bytes, const HtmlLimits& limits = {});
// Reads and parses a file; throws EngineError naming it when it cannot be
// read or exceeds `limits`.
HtmlDocument readHtmlFile(const std::string& path, const HtmlLimits& limits = {});

}  // namespace kevra
