// LIKE pattern compilation and matching. Every element but * consumes exactly
// one character, so a greedy match that backtracks to the last * suffices.
#include "engine/expr/like_pattern.h"

#include "engine/expr/text_collation.h"
#include "engine/util/error.h"

namespace kevra::expr {

LikePattern::LikePattern(std::string_view pattern) : pattern_(pattern) {
  const std::u32string p = foldedCodePoints(pattern);
  for (size_t i = 0; i < p.size(); ++i) {
    Element e;
    switch (p[i]) {
      case U'*':
        e.kind = Element::AnyRun;
        if (!elements_.empty() && elements_.back().kind == Element::AnyRun) continue;
        break;
      case U'?':
        e.kind = Element::AnyOne;
        break;
      case U'#':
        e.kind = Element::Digit;
        break;
      case U'[': {
        const size_t close = p.find(U']', i + 1);
        if (close == std::u32string::npos)
          throw EngineError("Invalid pattern string in LIKE: '" + pattern_ + "' has a '[' without ']'.");
        e.kind = Element::Set;
        size_t k = i + 1;
        if (k < close && p[k] == U'!' && close > k + 1) {
          e.negated = true;
          ++k;
        }
        for (; k < close; ++k) {
          if (k + 2 < close && p[k + 1] == U'-')
            e.ranges.emplace_back(p[k], p[k + 2]), k += 2;
          else
            e.ranges.emplace_back(p[k], p[k]);
        }
        i = close;
        break;
      }
      default:
        e.literal = p[i];
        break;
    }
    elements_.push_back(std::move(e));
  }
}

bool LikePattern::matchesOne(const Element& e, char32_t c) const {
  switch (e.kind) {
    case Element::Literal:
      return e.literal == c;
    case Element::AnyOne:
      return true;
    case Element::Digit:
      return c >= U'0' && c <= U'9';
    case Element::Set: {
      bool in = false;
      for (const auto& [lo, hi] : e.ranges) in = in || (c >= lo && c <= hi);
      return in != e.negated;
    }
    case Element::AnyRun:
      break;
  }
  return false;
}

bool LikePattern::matches(std::string_view text) const {
  foldCodePointsInto(text, text_);
  const std::u32string& s = text_;
  size_t si = 0, pi = 0;
  size_t starPattern = std::string::npos, starText = 0;
  while (si < s.size()) {
    if (pi < elements_.size() && elements_[pi].kind == Element::AnyRun) {
      starPattern = pi++;
      starText = si;
    } else if (pi < elements_.size() && matchesOne(elements_[pi], s[si])) {
      ++pi;
      ++si;
    } else if (starPattern != std::string::npos) {
      pi = starPattern + 1;
      si = ++starText;
    } else {
      return false;
    }
  }
  while (pi < elements_.size() && elements_[pi].kind == Element::AnyRun) ++pi;
  return pi == elements_.size();
}

}  // namespace kevra::expr
