// Recursive-descent expression parser; one function per precedence level.
#include "engine/expr/expression_parser.h"

#include "engine/expr/lexer.h"

namespace kevra::expr {
namespace {

ExprPtr makeExpr(ExprKind kind, size_t position) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->position = position;
  return e;
}

ExprPtr makeBinary(std::string op, ExprPtr left, ExprPtr right) {
  auto e = makeExpr(ExprKind::Binary, left->position);
  e->op = std::move(op);
  e->operands.push_back(std::move(left));
  e->operands.push_back(std::move(right));
  return e;
}

class ExpressionParser {
 public:
  ExpressionParser(TokenStream& t, const SubqueryReader& readSubquery) : t_(t), readSubquery_(readSubquery) {}

  ExprPtr orLevel() {
    DepthGuard guard(*this);
    ExprPtr left = andLevel();
    while (t_.acceptKeyword("OR")) left = binary("OR", std::move(left), andLevel());
    return left;
  }

 private:
  // Parentheses, NOT and signs recurse (a parenthesis counts three levels);
  // a bound on the depth keeps hostile input from exhausting the stack. The
  // bound holds for the whole statement: a subquery is read by a parser of
  // its own, which counts on from the depth of the one that reached it.
  static constexpr int kMaxDepth = 1000;
  static int& nestingDepth() {
    thread_local int depth = 0;
    return depth;
  }
  struct DepthGuard {
    explicit DepthGuard(ExpressionParser& p) : parser(p) {
      if (++nestingDepth() > kMaxDepth) {
        --nestingDepth();
        parser.t_.fail("a less deeply nested expression");
      }
    }
    ~DepthGuard() { --nestingDepth(); }
    ExpressionParser& parser;
  };

  // Operator chains build left-deep trees that later passes walk
  // recursively, so their length is bounded as well.
  static constexpr int kMaxOperators = 10000;
  ExprPtr binary(std::string op, ExprPtr left, ExprPtr right) {
    if (++operators_ > kMaxOperators) t_.fail("a shorter expression");
    return makeBinary(std::move(op), std::move(left), std::move(right));
  }

  ExprPtr andLevel() {
    ExprPtr left = notLevel();
    while (t_.acceptKeyword("AND")) left = binary("AND", std::move(left), notLevel());
    return left;
  }

  ExprPtr notLevel() {
    DepthGuard guard(*this);
    if (t_.peek().isKeyword("NOT")) {
      auto e = makeExpr(ExprKind::Unary, t_.advance().position);
      e->op = "NOT";
      e->operands.push_back(notLevel());
      return e;
    }
    return comparison();
  }

  ExprPtr comparison() {
    ExprPtr left = concat();
    while (true) {
      static const char* const ops[] = {"=", "<>", "<", "<=", ">", ">="};
      bool matched = false;
      for (const char* op : ops) {
        if (t_.acceptSymbol(op)) {
          left = binary(op, std::move(left), concat());
          matched = true;
          break;
        }
      }
      if (matched) continue;
      if (t_.acceptKeyword("IS")) {
        auto e = makeExpr(ExprKind::IsNull, left->position);
        e->negated = t_.acceptKeyword("NOT");
        t_.expectKeyword("NULL");
        e->operands.push_back(std::move(left));
        left = std::move(e);
        continue;
      }
      const bool negated = t_.peek().isKeyword("NOT") &&
                           (t_.peek(1).isKeyword("LIKE") || t_.peek(1).isKeyword("IN") || t_.peek(1).isKeyword("BETWEEN"));
      if (negated) t_.advance();
      if (t_.acceptKeyword("LIKE")) {
        auto e = makeExpr(ExprKind::Like, left->position);
        e->negated = negated;
        e->operands.push_back(std::move(left));
        e->operands.push_back(concat());
        left = std::move(e);
      } else if (t_.acceptKeyword("IN")) {
        auto e = makeExpr(ExprKind::In, left->position);
        e->negated = negated;
        e->operands.push_back(std::move(left));
        const size_t open = t_.peek().position;
        t_.expectSymbol("(");
        if (t_.peek().isKeyword("SELECT")) {
          e->operands.push_back(subquery(open));
        } else {
          do {
            e->operands.push_back(orLevel());
          } while (t_.acceptSymbol(","));
          t_.expectSymbol(")");
        }
        left = std::move(e);
      } else if (t_.acceptKeyword("BETWEEN")) {
        auto e = makeExpr(ExprKind::Between, left->position);
        e->negated = negated;
        e->operands.push_back(std::move(left));
        e->operands.push_back(concat());
        t_.expectKeyword("AND");
        e->operands.push_back(concat());
        left = std::move(e);
      } else {
        return left;
      }
    }
  }

  ExprPtr concat() {
    ExprPtr left = additive();
    while (t_.acceptSymbol("&")) left = binary("&", std::move(left), additive());
    return left;
  }

  ExprPtr additive() {
    ExprPtr left = modulo();
    while (true) {
      if (t_.acceptSymbol("+"))
        left = binary("+", std::move(left), modulo());
      else if (t_.acceptSymbol("-"))
        left = binary("-", std::move(left), modulo());
      else
        return left;
    }
  }

  ExprPtr modulo() {
    ExprPtr left = integerDivision();
    while (t_.acceptKeyword("MOD")) left = binary("MOD", std::move(left), integerDivision());
    return left;
  }

  ExprPtr integerDivision() {
    ExprPtr left = multiplicative();
    while (t_.acceptSymbol("\\")) left = binary("\\", std::move(left), multiplicative());
    return left;
  }

  ExprPtr multiplicative() {
    ExprPtr left = unary();
    while (true) {
      if (t_.acceptSymbol("*"))
        left = binary("*", std::move(left), unary());
      else if (t_.acceptSymbol("/"))
        left = binary("/", std::move(left), unary());
      else
        return left;
    }
  }

  ExprPtr unary() {
    DepthGuard guard(*this);
    if (t_.peek().isSymbol("-") || t_.peek().isSymbol("+")) {
      const Token& sign = t_.advance();
      ExprPtr operand = unary();
      if (sign.text == "+") return operand;
      auto e = makeExpr(ExprKind::Unary, sign.position);
      e->op = "-";
      e->operands.push_back(std::move(operand));
      return e;
    }
    return power();
  }

  ExprPtr power() {
    ExprPtr left = primary();
    while (t_.acceptSymbol("^")) left = binary("^", std::move(left), primary());
    return left;
  }

  ExprPtr primary() {
    const Token& t = t_.peek();
    switch (t.kind) {
      case TokenKind::String:
      case TokenKind::Date:
      case TokenKind::Integer:
      case TokenKind::Number: {
        auto e = makeExpr(ExprKind::Literal, t.position);
        e->literal = t.value;
        t_.advance();
        return e;
      }
      case TokenKind::Symbol:
        if (t.isSymbol("(")) {
          t_.advance();
          if (t_.peek().isKeyword("SELECT")) return subquery(t.position);
          ExprPtr inner = orLevel();
          t_.expectSymbol(")");
          return inner;
        }
        break;
      case TokenKind::Word:
        if (t.isKeyword("TRUE") || t.isKeyword("FALSE") || t.isKeyword("NULL")) {
          auto e = makeExpr(ExprKind::Literal, t.position);
          if (!t.isKeyword("NULL")) e->literal = t.isKeyword("TRUE");
          t_.advance();
          return e;
        }
        // Left and Right are reserved (joins) but are also text functions.
        if (t_.peek(1).isSymbol("(") && (!isReservedWord(t.text) || t.isKeyword("LEFT") || t.isKeyword("RIGHT")))
          return call();
        break;
      default:
        break;
    }
    if (t_.peekName()) return column();
    t_.fail("an expression");
  }

  // After "(": SELECT ... ")".
  ExprPtr subquery(size_t position) {
    DepthGuard guard(*this);
    t_.expectKeyword("SELECT");
    // Only statements know what a SELECT is; a bare expression (a default,
    // a validation rule) has no reader and refuses the subquery.
    if (!readSubquery_) t_.fail("a value (a subquery is not allowed here)");
    auto e = makeExpr(ExprKind::Subquery, position);
    e->subquery = readSubquery_(t_);
    t_.expectSymbol(")");
    return e;
  }

  ExprPtr call() {
    const Token& nameToken = t_.advance();
    auto e = makeExpr(ExprKind::Function, nameToken.position);
    e->name = nameToken.text;
    t_.expectSymbol("(");
    if (t_.peek().isSymbol("*") && t_.peek(1).isSymbol(")")) {  // Count(*)
      t_.advance();
      t_.advance();
      e->op = "*";
      return e;
    }
    if (!t_.acceptSymbol(")")) {
      do {
        e->operands.push_back(orLevel());
      } while (t_.acceptSymbol(","));
      t_.expectSymbol(")");
    }
    return e;
  }

  ExprPtr column() {
    const size_t position = t_.peek().position;
    std::string first = t_.expectName("a name");
    auto e = makeExpr(ExprKind::Column, position);
    if (t_.peek().isSymbol(".") || t_.peek().isSymbol("!")) {
      t_.advance();
      e->qualifier = std::move(first);
      e->name = t_.expectName("a field name");
    } else {
      e->name = std::move(first);
    }
    return e;
  }

  TokenStream& t_;
  const SubqueryReader& readSubquery_;
  int operators_ = 0;
};

}  // namespace

ExprPtr parseExpression(TokenStream& tokens, const SubqueryReader& readSubquery) {
  return ExpressionParser(tokens, readSubquery).orLevel();
}

ExprPtr parseExpressionText(std::string_view text, const SubqueryReader& readSubquery) {
  TokenStream tokens(tokenize(text));
  ExprPtr e = parseExpression(tokens, readSubquery);
  if (!tokens.atEnd()) tokens.fail("the end of the expression");
  return e;
}

}  // namespace kevra::expr
