// LikePattern: a compiled Jet LIKE pattern. Wildcards: * (any run), ? (any
// one character), # (one digit), [abc] / [a-z] (one of), [!abc] (none of).
// Brackets also quote a wildcard: [*] matches a star. Matching ignores case
// and covers the whole text.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kevra::expr {

class LikePattern {
 public:
  // Throws EngineError for a '[' without its ']'.
  explicit LikePattern(std::string_view pattern);
  bool matches(std::string_view text) const;

 private:
  struct Element {
    enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind = Literal;
    char32_t literal = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // Set: inclusive, folded
  };
  bool matchesOne(const Element& e, char32_t c) const;

  std::string pattern_;
  std::vector<Element> elements_;
  mutable std::u32string text_;  // the folded text being matched, kept to reuse its storage
};

}  // namespace kevra::expr
