// Hyperlink fields: a memo whose text is "display#address#subaddress#"
// (any part may be empty; a text without '#' is an address alone). The cell
// shows the display text, or the address when there is none.
#pragma once
#include <string>
#include <string_view>

namespace kevra::expr {

struct HyperlinkParts {
  std::string display;
  std::string address;
  std::string subAddress;
  // What a cell shows: the display text, else the address, else the
  // subaddress.
  const std::string& shown() const;
};

HyperlinkParts splitHyperlink(std::string_view stored);

}  // namespace kevra::expr
