// From MSysQueries rows and Jet expression text to target SQL.
#include "engine/upsize/query_translation.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "engine/expr/date_literal.h"
#include "engine/format/value_text.h"
#include "engine/table/database.h"
#include "engine/table/saved_query.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

std::string upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

enum class Tok { Name, Bracketed, String, Date, Number, Op, End };

struct Token {
  Tok kind;
  std::string text;
};

std::vector<Token> tokenize(const std::string& s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '[') {
      size_t e = s.find(']', i);
      if (e == std::string::npos) throw EngineError("an unclosed [");
      out.push_back({Tok::Bracketed, s.substr(i + 1, e - i - 1)});
      i = e + 1;
    } else if (c == '"' || c == '\'') {
      std::string v;
      size_t k = i + 1;
      for (;; ++k) {
        if (k >= s.size()) throw EngineError("an unclosed string");
        if (s[k] == c) {
          if (k + 1 < s.size() && s[k + 1] == c) {
            v.push_back(c);
            ++k;
            continue;
          }
          break;
        }
        v.push_back(s[k]);
      }
      out.push_back({Tok::String, v});
      i = k + 1;
    } else if (c == '#') {
      size_t e = s.find('#', i + 1);
      if (e == std::string::npos) throw EngineError("an unclosed #date#");
      out.push_back({Tok::Date, s.substr(i + 1, e - i - 1)});
      i = e + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t k = i;
      while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '.')) ++k;
      out.push_back({Tok::Number, s.substr(i, k - i)});
      i = k;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80) {
      size_t k = i;
      while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '_' ||
                              static_cast<unsigned char>(s[k]) >= 0x80))
        ++k;
      out.push_back({Tok::Name, s.substr(i, k - i)});
      i = k;
    } else {
      std::string op(1, c);
      if (i + 1 < s.size() && ((c == '<' && (s[i + 1] == '>' || s[i + 1] == '=')) || (c == '>' && s[i + 1] == '=')))
        op.push_back(s[i + 1]);
      out.push_back({Tok::Op, op});
      i += op.size();
    }
  }
  out.push_back({Tok::End, ""});
  return out;
}

class Translator {
 public:
  Translator(const std::string& text, TargetDialect dialect) : toks_(tokenize(text)), pg_(dialect == TargetDialect::PostgreSQL) {}

  std::string all() {
    std::string out = sequence(false);
    if (peek().kind != Tok::End) throw EngineError("an unexpected '" + peek().text + "'");
    return out;
  }

 private:
  const Token& peek() const { return toks_[pos_]; }
  Token take() { return toks_[pos_++]; }

  // Tokens up to the end, a closing parenthesis or (inside arguments) a comma.
  std::string sequence(bool inArguments) {
    std::string out;
    bool afterLike = false;
    while (true) {
      const Token& t = peek();
      if (t.kind == Tok::End) break;
      if (t.kind == Tok::Op && (t.text == ")" || (inArguments && t.text == ","))) break;
      std::string piece = term(afterLike);
      afterLike = upper(piece) == "LIKE" || upper(piece) == "ILIKE";
      if (!out.empty()) out.push_back(' ');
      out += piece;
    }
    return out;
  }

  std::string literal(const std::string& v) {
    std::string out = "'";
    for (char c : v) {
      if (c == '\'') out.push_back('\'');
      out.push_back(c);
    }
    return out + "'";
  }

  std::string likePattern(const std::string& jet) {
    std::string out;
    for (char c : jet) {
      if (c == '*')
        out.push_back('%');
      else if (c == '?')
        out.push_back('_');
      else if (c == '#' || c == '[')
        throw EngineError("a LIKE pattern with # or [ ]");
      else if (c == '%' || c == '_' || c == '\\') {
        if (!pg_) throw EngineError("a LIKE pattern holding % or _");
        out.push_back('\\');
        out.push_back(c);
      } else
        out.push_back(c);
    }
    return literal(out);
  }

  std::vector<std::string> arguments() {
    std::vector<std::string> args;
    take();  // (
    if (peek().kind == Tok::Op && peek().text == ")") {
      take();
      return args;
    }
    for (;;) {
      args.push_back(sequence(true));
      Token t = take();
      if (t.kind == Tok::Op && t.text == ")") break;
      if (!(t.kind == Tok::Op && t.text == ",")) throw EngineError("an unclosed function call");
    }
    return args;
  }

  std::string function(const std::string& name) {
    std::string f = upper(name);
    auto args = arguments();
    auto need = [&](size_t n) {
      if (args.size() != n) throw EngineError(name + " with " + std::to_string(args.size()) + " arguments");
    };
    auto join = [&] {
      std::string out;
      for (size_t i = 0; i < args.size(); ++i) out += (i ? ", " : "") + args[i];
      return out;
    };
    if (f == "IIF") {
      need(3);
      return "(CASE WHEN " + args[0] + " THEN " + args[1] + " ELSE " + args[2] + " END)";
    }
    if (f == "NZ") {
      need(2);
      return "COALESCE(" + join() + ")";
    }
    if (f == "LEN") {
      need(1);
      return "length(" + args[0] + ")";
    }
    if (f == "MID") {
      if (args.size() != 2 && args.size() != 3) need(3);
      return "substr(" + join() + ")";
    }
    if (f == "LEFT") {
      need(2);
      return "substr(" + args[0] + ", 1, " + args[1] + ")";
    }
    if (f == "RIGHT") {
      need(2);
      return pg_ ? "right(" + join() + ")" : "substr(" + args[0] + ", -(" + args[1] + "))";
    }
    if (f == "UCASE") return need(1), "upper(" + args[0] + ")";
    if (f == "LCASE") return need(1), "lower(" + args[0] + ")";
    if (f == "TRIM" || f == "LTRIM" || f == "RTRIM") return need(1), upper(f) == "TRIM" ? "trim(" + args[0] + ")" : lowerName(f) + "(" + args[0] + ")";
    if (f == "ABS") return need(1), "abs(" + args[0] + ")";
    if (f == "NOW") return need(0), std::string("CURRENT_TIMESTAMP");
    if (f == "DATE") return need(0), std::string(pg_ ? "CURRENT_DATE" : "date('now')");
    if (f == "COUNT" || f == "SUM" || f == "AVG" || f == "MIN" || f == "MAX")
      return f + "(" + (args.size() == 1 && args[0] == "*" ? std::string("*") : join()) + ")";
    throw EngineError("the function " + name + "()");
  }

  static std::string lowerName(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  std::string term(bool afterLike) {
    Token t = take();
    switch (t.kind) {
      case Tok::String:
        return afterLike ? likePattern(t.text) : literal(t.text);
      case Tok::Date: {
        auto d = expr::parseDateLiteral(t.text);
        if (!d) throw EngineError("the date #" + t.text + "#");
        std::string iso = dateTimeToIso(*d);
        iso[10] = ' ';
        return pg_ ? "TIMESTAMP " + literal(iso.substr(0, 19)) : literal(iso.substr(0, 19));
      }
      case Tok::Number:
        return t.text;
      case Tok::Bracketed:
        return quoteIdentifier(t.text);
      case Tok::Name: {
        std::string u = upper(t.text);
        static const char* keywords[] = {"AND", "OR", "NOT", "IS", "NULL", "BETWEEN", "IN"};
        for (const char* k : keywords)
          if (u == k) return u;
        if (peek().kind == Tok::Op && peek().text == "(") return function(t.text);
        if (u == "LIKE") return pg_ ? "ILIKE" : "LIKE";  // Jet's LIKE ignores case
        if (u == "TRUE" || u == "YES") return pg_ ? "TRUE" : "1";
        if (u == "FALSE" || u == "NO") return pg_ ? "FALSE" : "0";
        if (u == "MOD") return "%";
        if (u == "XOR" || u == "EQV" || u == "IMP" || u == "SELECT") throw EngineError("the word " + t.text);
        return quoteIdentifier(t.text);
      }
      case Tok::Op: {
        if (t.text == "&") return "||";
        if (t.text == "(") {
          std::string inner = sequence(false);
          Token close = take();
          if (close.text != ")") throw EngineError("an unclosed (");
          return "(" + inner + ")";
        }
        if (t.text == "." || t.text == "=" || t.text == "<>" || t.text == "<" || t.text == ">" || t.text == "<=" ||
            t.text == ">=" || t.text == "+" || t.text == "-" || t.text == "*" || t.text == "/" || t.text == ",")
          return t.text;
        throw EngineError("the operator " + t.text);
      }
      case Tok::End:
        break;
    }
    throw EngineError("an unexpected end");
  }

  std::vector<Token> toks_;
  size_t pos_ = 0;
  bool pg_;
};

// "a . b" from the translator back to "a"."b".
std::string tidy(std::string s) {
  for (size_t p; (p = s.find(" . ")) != std::string::npos;) s.replace(p, 3, ".");
  return s;
}

// The parts a view cannot carry are refused before any is written.
std::string viewSql(const SavedQuery& q, TargetDialect dialect) {
  if (!q.parameters.empty()) throw EngineError("parameters");
  if (q.options & ~(SavedQuery::kAllColumns | SavedQuery::kDistinct))
    throw EngineError("query options " + std::to_string(q.options));
  if (!q.sourceDatabase.empty() || !q.sourceConnect.empty()) throw EngineError("a source in another database");
  for (const auto& s : q.sources)
    if (!s.database.empty() || !s.text.empty()) throw EngineError("a source in another database");
  if ((q.columns.empty() && !(q.options & SavedQuery::kAllColumns)) || q.sources.empty())
    throw EngineError("no output columns or no source");
  SqlPartWriter writer{[dialect](const std::string& e) { return tidy(translateExpression(e, dialect)); },
                       quoteIdentifier};
  return selectStatement(q, writer);
}

}  // namespace

std::string translateExpression(const std::string& jet, TargetDialect dialect) {
  return Translator(jet, dialect).all();
}

std::vector<TranslatedQuery> translateSavedQueries(const Database& db, TargetDialect dialect) {
  std::vector<TranslatedQuery> out;
  for (const SavedQuery& saved : readSavedQueries(db)) {
    TranslatedQuery q;
    q.name = saved.name;
    for (const auto& s : saved.sources)
      if (!s.name.empty()) q.sources.push_back(s.name);
    if (saved.kind != SavedQueryKind::Select) {
      q.reason = "not a select query";
    } else {
      try {
        q.selectSql = viewSql(saved, dialect);
      } catch (const EngineError& e) {
        q.reason = std::string("its SQL holds ") + e.what() + ", which does not translate";
      }
    }
    out.push_back(std::move(q));
  }
  return out;
}

}  // namespace kevra
