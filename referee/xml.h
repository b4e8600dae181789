// Text placed inside the SVG the referee writes (titles, engine names) goes
// through here, so an engine named "a<b" or "x & y" cannot break a picture.
#pragma once

#include <string>
#include <string_view>

namespace Kelp::Referee {

inline std::string escapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace Kelp::Referee
