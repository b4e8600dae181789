// The self-contained pages of a match and a series (match.html,
// series.html): one HTML file each, with its style, its script and its data
// inline, so that it opens from the folder (file://) or as a mail
// attachment, with no server and nothing fetched.
//
// Everything an engine or a command line controls (replies, names,
// commands, fault messages) reaches the page only as data inside
// <script type="application/json">, escaped so that it cannot end that
// element, and the page's script shows it with textContent only: as
// characters, never as markup or script.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace Kelp::Referee {

// The data as JSON text that is safe inside a script element: `<`, `>` and
// `&` (and U+2028, U+2029, which some JavaScript readers take for line
// ends) are written as \u escapes, which JSON reads back as the same
// characters. Bytes that are not UTF-8 become U+FFFD.
std::string embeddedJson(const nlohmann::json& data);

enum class PageKind { Match, Series };

// The whole page: the shared frame, style and helpers, the script of the
// kind, and the data, given as embeddedJson text (pieces of it may be
// joined: the escaping works byte by byte).
std::string pageHtml(PageKind kind, std::string_view embeddedData);

}  // namespace Kelp::Referee
