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
};

struct HtmlTable {
  std::string caption;
  std::vector<std::vector<HtmlCell>> rows;  // colspan already spread into empty cells
};

struct HtmlDocument {
  std::string title;
  std::vector<HtmlTable> tables;  // document order (by their start tag)
};

HtmlDocument parseHtml(const std::string& bytes);
// Reads and parses a file; throws EngineError naming it when it cannot be read.
HtmlDocument readHtmlFile(const std::string& path);

}  // namespace kevra
