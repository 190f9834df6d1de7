// LIKE pattern compilation and matching. Every element but * consumes exactly
// one character, so the segments between stars have fixed lengths and the
// leftmost placement of each is the right one.
#include "engine/expr/like_pattern.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include "engine/expr/text_collation.h"
#include "engine/util/error.h"

namespace kevra::expr {

LikePattern::LikePattern(std::string_view pattern) : pattern_(pattern) {
  const std::u32string p = foldedCodePoints(pattern);
  segments_.emplace_back();
  for (size_t i = 0; i < p.size(); ++i) {
    Element e;
    switch (p[i]) {
      case U'*':
        if (i == 0) leadingStar_ = true;
        if (i + 1 == p.size()) trailingStar_ = true;
        if (!segments_.back().elements.empty()) segments_.emplace_back();
        continue;
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
    Segment& segment = segments_.back();
    if (e.kind == Element::Literal)
      segment.literal += e.literal;
    else
      segment.plain = false;
    segment.elements.push_back(std::move(e));
  }
  if (segments_.back().elements.empty()) segments_.pop_back();
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

bool LikePattern::matchesAt(const Segment& segment, const std::u32string& s, size_t at) const {
  if (segment.plain) return s.compare(at, segment.literal.size(), segment.literal) == 0;
  for (size_t k = 0; k < segment.elements.size(); ++k)
    if (!matchesOne(segment.elements[k], s[at + k])) return false;
  return true;
}

size_t LikePattern::find(const Segment& segment, const std::u32string& s, size_t from, size_t limit) const {
  const size_t length = segment.elements.size();
  if (limit < from || limit - from < length) return std::u32string::npos;
  if (segment.plain) {
    const auto begin = s.begin() + from, end = s.begin() + limit;
    const auto hit = std::search(begin, end, std::boyer_moore_horspool_searcher(segment.literal.begin(),
                                                                                segment.literal.end()));
    return hit == end ? std::u32string::npos : size_t(hit - s.begin());
  }
  // Shift-and: bit k of the state says the segment's first k+1 elements
  // match the text ending here. Each character's mask is worked out once per
  // scan and reused for repeats of that character.
  const size_t words = (length + 63) / 64;
  std::vector<uint64_t> state(words, 0), mask(words);
  std::vector<std::pair<char32_t, std::vector<uint64_t>>> recent;  // a few masks, most recent first
  for (size_t i = from; i < limit; ++i) {
    const char32_t c = s[i];
    auto cached = std::find_if(recent.begin(), recent.end(), [&](const auto& r) { return r.first == c; });
    if (cached != recent.end()) {
      mask = cached->second;
    } else {
      std::fill(mask.begin(), mask.end(), 0);
      for (size_t k = 0; k < length; ++k)
        if (matchesOne(segment.elements[k], c)) mask[k / 64] |= uint64_t(1) << (k % 64);
      if (recent.size() < 64) recent.emplace_back(c, mask);
    }
    uint64_t carry = 1;
    for (size_t w = 0; w < words; ++w) {
      const uint64_t next = state[w] >> 63;
      state[w] = ((state[w] << 1) | carry) & mask[w];
      carry = next;
    }
    if (state[(length - 1) / 64] >> ((length - 1) % 64) & 1) return i + 1 - length;
  }
  return std::u32string::npos;
}

bool LikePattern::matches(std::string_view text) const {
  foldCodePointsInto(text, text_);
  const std::u32string& s = text_;
  if (segments_.empty()) return leadingStar_ || s.empty();
  if (!leadingStar_ && segments_.size() == 1 && !trailingStar_)
    return s.size() == segments_[0].elements.size() && matchesAt(segments_[0], s, 0);
  size_t begin = 0, end = s.size();
  size_t first = 0, last = segments_.size();
  if (!leadingStar_) {
    const Segment& head = segments_.front();
    if (head.elements.size() > s.size() || !matchesAt(head, s, 0)) return false;
    begin = head.elements.size();
    ++first;
  }
  if (!trailingStar_) {
    const Segment& tail = segments_.back();
    if (tail.elements.size() > end - begin || !matchesAt(tail, s, end - tail.elements.size())) return false;
    end -= tail.elements.size();
    --last;
  }
  for (size_t k = first; k < last; ++k) {
    const size_t at = find(segments_[k], s, begin, end);
    if (at == std::u32string::npos) return false;
    begin = at + segments_[k].elements.size();
  }
  return true;
}

}  // namespace kevra::expr
