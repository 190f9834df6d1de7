// LikePattern: a compiled Jet LIKE pattern. Wildcards: * (any run), ? (any
// one character), # (one digit), [abc] / [a-z] (one of), [!abc] (none of).
// Brackets also quote a wildcard: [*] matches a star. Matching ignores case
// and covers the whole text, in time linear in the text: the pattern is cut
// at its stars into fixed-length segments; the first is anchored at the
// start, the last at the end, and each one between is placed at its leftmost
// occurrence (a substring search for plain text, a bit-parallel scan for
// segments with ?, # or [...]).
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
  struct Segment {
    std::vector<Element> elements;
    bool plain = true;      // literals only
    std::u32string literal;  // the literals, when plain
  };
  bool matchesOne(const Element& e, char32_t c) const;
  bool matchesAt(const Segment& segment, const std::u32string& s, size_t at) const;
  // Where `segment` first occurs in s[from, limit), or npos.
  size_t find(const Segment& segment, const std::u32string& s, size_t from, size_t limit) const;

  std::string pattern_;
  std::vector<Segment> segments_;  // the pieces between stars
  bool leadingStar_ = false, trailingStar_ = false;
  mutable std::u32string text_;  // the folded text being matched, kept to reuse its storage
};

}  // namespace kevra::expr
