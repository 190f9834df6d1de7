// Splitting the stored text of a hyperlink field into its parts.
#include "engine/expr/hyperlink_text.h"

namespace kevra::expr {

const std::string& HyperlinkParts::shown() const {
  if (!display.empty()) return display;
  if (!address.empty()) return address;
  return subAddress;
}

HyperlinkParts splitHyperlink(std::string_view stored) {
  HyperlinkParts parts;
  const size_t first = stored.find('#');
  if (first == std::string_view::npos) {
    parts.address = std::string(stored);
    return parts;
  }
  parts.display = std::string(stored.substr(0, first));
  stored.remove_prefix(first + 1);
  const size_t second = stored.find('#');
  parts.address = std::string(stored.substr(0, second));
  if (second == std::string_view::npos) return parts;
  stored.remove_prefix(second + 1);
  // The subaddress runs to the next '#'; anything after it (a screen tip)
  // is not shown.
  parts.subAddress = std::string(stored.substr(0, stored.find('#')));
  return parts;
}

}  // namespace kevra::expr
