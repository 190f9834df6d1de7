// A single pass over the page: tags steer where text goes (title, caption,
// cell); everything else is skipped.
#include "engine/isam/html_tables.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/isam/text_decoder.h"
#include "engine/util/utf.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

// Named references: the Latin-1 block in code point order from U+00A0, then others.
const char* const kLatin1Names[] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

const std::pair<const char*, char32_t> kOtherNames[] = {
    {"amp", '&'},        {"lt", '<'},         {"gt", '>'},         {"quot", '"'},       {"apos", '\''},
    {"euro", 0x20AC},    {"ndash", 0x2013},   {"mdash", 0x2014},   {"lsquo", 0x2018},   {"rsquo", 0x2019},
    {"sbquo", 0x201A},   {"ldquo", 0x201C},   {"rdquo", 0x201D},   {"bdquo", 0x201E},   {"hellip", 0x2026},
    {"minus", 0x2212},   {"trade", 0x2122},   {"bull", 0x2022},    {"dagger", 0x2020},  {"permil", 0x2030},
    {"OElig", 0x0152},   {"oelig", 0x0153},   {"Scaron", 0x0160},  {"scaron", 0x0161},  {"Yuml", 0x0178},
    {"fnof", 0x0192},    {"circ", 0x02C6},    {"tilde", 0x02DC},   {"ensp", 0x2002},    {"emsp", 0x2003},
    {"thinsp", 0x2009},  {"zwnj", 0x200C},    {"zwj", 0x200D},     {"lrm", 0x200E},     {"rlm", 0x200F},
};

constexpr char kLineBreak = '\x01';  // a <br> until the cell's text is collapsed

std::optional<char32_t> namedReference(std::string_view name) {
  for (size_t i = 0; i < std::size(kLatin1Names); ++i)
    if (name == kLatin1Names[i]) return char32_t(0xA0 + i);
  for (auto& [n, cp] : kOtherNames)
    if (name == n) return cp;
  return std::nullopt;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The character set a page declares in its first 1,024 bytes; empty if none.
std::string declaredCharset(const std::string& bytes) {
  std::string head = lower(std::string_view(bytes).substr(0, 1024));
  size_t at = head.find("charset=");
  if (at == std::string::npos) return "";
  at += 8;
  while (at < head.size() && (head[at] == '"' || head[at] == '\'' || head[at] == ' ')) ++at;
  size_t end = at;
  while (end < head.size() && (std::isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-' ||
                               head[end] == '_' || head[end] == ':' || head[end] == '.'))
    ++end;
  std::string name = head.substr(at, end - at);
  if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii") return "WINDOWS-1252";
  if (name == "x-mac-roman") return "MACINTOSH";
  return name;
}

bool isValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

std::string decodePage(const std::string& bytes) {
  ByteOrderMark bom = detectByteOrderMark(bytes);
  // Text that is valid UTF-8 is taken as UTF-8 whatever the page declares:
  // pages converted to UTF-8 often keep their old declaration.
  std::string charset = bom.length ? bom.charset : isValidUtf8(bytes) ? "" : declaredCharset(bytes);
  std::string text;
  std::unique_ptr<TextDecoder> decoder;
  try {
    decoder = std::make_unique<TextDecoder>(charset);
  } catch (const EngineError&) {
    decoder = std::make_unique<TextDecoder>("");  // an unknown declaration: read it as UTF-8
  }
  decoder->decode(std::string_view(bytes).substr(bom.length), true, text);
  return text;
}

// Collapses whitespace into single blanks, turns <br> marks into line breaks
// (with the blanks beside them dropped), and trims.
std::string collapse(const std::string& raw) {
  std::string out;
  bool space = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      space = true;
    } else if (c == '\xC2' && i + 1 < raw.size() && raw[i + 1] == '\xA0') {  // no-break space
      space = true;
      ++i;
    } else if (c == kLineBreak) {
      while (!out.empty() && out.back() == ' ') out.pop_back();
      out.push_back('\n');
      space = false;
    } else {
      if (space && !out.empty() && out.back() != '\n') out.push_back(' ');
      space = false;
      out.push_back(c);
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
  return out;
}

struct Tag {
  std::string name;
  bool closing = false;
  int colspan = 1;
};

class PageReader {
 public:
  PageReader(std::string text, const HtmlLimits& limits) : t_(std::move(text)), limits_(limits) {}

  HtmlDocument read() {
    size_t i = 0;
    const size_t n = t_.size();
    while (i < n) {
      char c = t_[i];
      if (c == '<') {
        i = markup(i);
      } else if (c == '&') {
        i = reference(i);
      } else {
        size_t next = i;
        while (next < n && t_[next] != '<' && t_[next] != '&') ++next;
        if (std::string* s = sink()) s->append(t_, i, next - i);
        i = next;
      }
    }
    while (!open_.empty()) closeTable();
    doc_.title = collapse(title_);
    return std::move(doc_);
  }

 private:
  struct OpenTable {
    size_t index = 0;
    bool inRow = false, inCell = false, inCaption = false, inHead = false;
    bool cellKept = false;  // the open cell has its place in the row
    size_t nextColumn = 0;  // where the row's next cell starts
    std::string caption, cell;
  };

  std::string* sink() {
    if (inTitle_) return &title_;
    if (open_.empty()) return nullptr;
    OpenTable& o = open_.back();
    if (o.inCaption) return &o.caption;
    if (o.inCell) return &o.cell;
    return nullptr;
  }

  HtmlTable& table(OpenTable& o) { return doc_.tables[o.index]; }

  void closeCell(OpenTable& o) {
    if (!o.inCell) return;
    std::string text = collapse(o.cell);
    if (o.cellKept) table(o).rows.back().back().text = std::move(text);
    else if (!text.empty()) markTooWide(o);
    o.cell.clear();
    o.inCell = false;
  }

  // A filled cell past the column limit: the table can never be imported,
  // so nothing more of it is kept.
  void markTooWide(OpenTable& o) {
    HtmlTable& t = table(o);
    if (t.tooWide) return;
    t.tooWide = true;
    for (auto& row : t.rows) kept_ -= row.size() + 1;
    t.rows.clear();
    t.rows.shrink_to_fit();
  }

  void keep(size_t count) {
    kept_ += count;
    if (kept_ > limits_.cells)
      throw EngineError("The HTML page holds more than " + std::to_string(limits_.cells) +
                        " table cells and rows, more than one import reads.");
  }

  void closeRow(OpenTable& o) {
    closeCell(o);
    o.inRow = false;
  }

  void startRow(OpenTable& o) {
    closeRow(o);
    o.inRow = true;
    o.nextColumn = 0;
    if (table(o).tooWide) return;
    keep(1);
    table(o).rows.emplace_back();
  }

  void closeTable() {
    OpenTable& o = open_.back();
    closeRow(o);
    if (o.inCaption || !o.caption.empty()) table(o).caption = collapse(o.caption);
    open_.pop_back();
  }

  void handle(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "title") {
      inTitle_ = !tag.closing;
      return;
    }
    if (name == "table") {
      if (!tag.closing) {
        OpenTable o;
        o.index = doc_.tables.size();
        open_.push_back(std::move(o));
        doc_.tables.emplace_back();
      } else if (!open_.empty()) {
        closeTable();
      }
      return;
    }
    if (open_.empty()) return;
    OpenTable& o = open_.back();
    if (name == "caption") {
      o.inCaption = !tag.closing;
    } else if (name == "thead") {
      o.inHead = !tag.closing;
    } else if (name == "tbody" || name == "tfoot") {
      o.inHead = false;
    } else if (name == "tr") {
      if (tag.closing) closeRow(o);
      else startRow(o);
    } else if (name == "td" || name == "th") {
      if (tag.closing) {
        closeCell(o);
        return;
      }
      closeCell(o);
      if (!o.inRow) startRow(o);
      const size_t column = o.nextColumn, span = size_t(std::clamp(tag.colspan, 1, 1000));
      o.nextColumn = std::min(column + span, limits_.columns + 1000);
      o.inCell = true;
      o.cellKept = column < limits_.columns && !table(o).tooWide;
      if (o.cellKept) {
        keep(1);
        table(o).rows.back().push_back({"", name == "th" || o.inHead, column, span});
      }
    } else if (name == "br") {
      if (std::string* s = sink()) s->push_back(kLineBreak);
    } else if (name == "p" || name == "div" || name == "li") {
      if (std::string* s = sink()) s->push_back(' ');
    }
  }

  // Skips a comment, declaration or raw-text element; reads a tag.
  size_t markup(size_t i) {
    const size_t n = t_.size();
    if (t_.compare(i, 4, "<!--") == 0) {
      size_t end = t_.find("-->", i + 4);
      return end == std::string::npos ? n : end + 3;
    }
    if (i + 1 < n && (t_[i + 1] == '!' || t_[i + 1] == '?')) {
      size_t end = t_.find('>', i);
      return end == std::string::npos ? n : end + 1;
    }
    bool closing = i + 1 < n && t_[i + 1] == '/';
    size_t p = i + (closing ? 2 : 1);
    if (p >= n || !std::isalpha(static_cast<unsigned char>(t_[p]))) {
      if (std::string* s = sink()) s->push_back('<');
      return i + 1;
    }
    Tag tag;
    tag.closing = closing;
    while (p < n && (std::isalnum(static_cast<unsigned char>(t_[p])))) tag.name.push_back(char(std::tolower(t_[p++])));
    // Attributes, minding quotes, up to '>'.
    while (p < n && t_[p] != '>') {
      if (std::isspace(static_cast<unsigned char>(t_[p])) || t_[p] == '/') {
        ++p;
        continue;
      }
      std::string attr;
      while (p < n && !std::isspace(static_cast<unsigned char>(t_[p])) && t_[p] != '=' && t_[p] != '>')
        attr.push_back(char(std::tolower(t_[p++])));
      std::string value;
      while (p < n && std::isspace(static_cast<unsigned char>(t_[p]))) ++p;
      if (p < n && t_[p] == '=') {
        ++p;
        while (p < n && std::isspace(static_cast<unsigned char>(t_[p]))) ++p;
        if (p < n && (t_[p] == '"' || t_[p] == '\'')) {
          char q = t_[p++];
          size_t end = t_.find(q, p);
          if (end == std::string::npos) end = n;
          value = t_.substr(p, end - p);
          p = end + 1;
        } else {
          while (p < n && !std::isspace(static_cast<unsigned char>(t_[p])) && t_[p] != '>') value.push_back(t_[p++]);
        }
      }
      if (attr == "colspan") tag.colspan = int(std::clamp(std::strtol(value.c_str(), nullptr, 10), 0L, 1000L));
    }
    size_t after = p < n ? p + 1 : n;
    if (!closing && (tag.name == "script" || tag.name == "style")) {
      size_t end = lower(std::string_view(t_).substr(after)).find("</" + tag.name);
      if (end == std::string::npos) return n;
      size_t close = t_.find('>', after + end);
      return close == std::string::npos ? n : close + 1;
    }
    handle(tag);
    return after;
  }

  size_t reference(size_t i) {
    std::string* s = sink();
    size_t semi = t_.find(';', i);
    if (semi != std::string::npos && semi - i <= 32) {
      std::string_view body(t_.data() + i + 1, semi - i - 1);
      std::optional<char32_t> cp;
      if (!body.empty() && body[0] == '#') {
        bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        std::string digits(body.substr(hex ? 2 : 1));
        char* end = nullptr;
        unsigned long v = digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (!digits.empty() && end && *end == '\0' && v > 0 && v <= 0x10FFFF) cp = char32_t(v);
      } else {
        cp = namedReference(body);
      }
      if (cp) {
        if (s) appendUtf8(*cp, *s);
        return semi + 1;
      }
    }
    if (s) s->push_back('&');
    return i + 1;
  }

  std::string t_;
  HtmlLimits limits_;
  size_t kept_ = 0;  // cells and rows in doc_
  HtmlDocument doc_;
  std::vector<OpenTable> open_;
  bool inTitle_ = false;
  std::string title_;
};

}  // namespace

HtmlDocument parseHtml(const std::string& bytes, const HtmlLimits& limits) {
  if (bytes.size() > limits.bytes)
    throw EngineError("The HTML page is " + std::to_string(bytes.size()) + " bytes long; one import reads at most " +
                      std::to_string(limits.bytes) + ".");
  return PageReader(decodePage(bytes), limits).read();
}

HtmlDocument readHtmlFile(const std::string& path, const HtmlLimits& limits) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EngineError("Cannot open the HTML file '" + path + "'.");
  in.seekg(0, std::ios::end);
  const auto size = in.tellg();
  if (size > 0 && uint64_t(size) > limits.bytes)
    throw EngineError("The HTML file '" + path + "' is " + std::to_string(uint64_t(size)) +
                      " bytes long; one import reads at most " + std::to_string(limits.bytes) + ".");
  in.seekg(0);
  std::stringstream ss;
  ss << in.rdbuf();
  try {
    return parseHtml(ss.str(), limits);
  } catch (const EngineError& e) {
    throw EngineError("The HTML file '" + path + "' cannot be read: " + e.what());
  }
}

}  // namespace kevra
