// Text comparison the way Jet's General sort order compares in queries:
// letter case does not matter. Texts are UTF-8.
#pragma once
#include <string>
#include <string_view>

namespace kevra::expr {

// Lower-case form of one code point (Latin, Latin-1, Latin Extended-A, Greek, Cyrillic).
char32_t foldCase(char32_t c);
// Code points of `utf8`, case-folded; malformed bytes become U+FFFD.
std::u32string foldedCodePoints(std::string_view utf8);
// The same into `out` (replacing its contents), reusing its storage.
void foldCodePointsInto(std::string_view utf8, std::u32string& out);
// Code points of `utf8` as they are (malformed bytes become U+FFFD), and back.
std::u32string codePoints(std::string_view utf8);
std::string utf8Of(std::u32string_view text);
// The case-folded text as UTF-8: two texts compare ignoring case exactly as
// their folded forms compare byte by byte.
std::string foldedUtf8(std::string_view utf8);
// <0, 0, >0 ignoring case.
int compareTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kevra::expr
