#include "referee/page.h"

#include "kelpsimulator/check.h"
#include "referee/page_sources.h"

namespace Kelp::Referee {
namespace {

// Replaces the one placeholder `mark` in `page` (the sources hold each once).
void fill(std::string& page, std::string_view mark, std::string_view text) {
  const std::size_t at = page.find(mark);
  KELP_CHECK(at != std::string::npos);
  page.replace(at, mark.size(), text);
}

}  // namespace

std::string embeddedJson(const nlohmann::json& data) {
  const std::string text = data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '<') {
      out += "\\u003c";
    } else if (c == '>') {
      out += "\\u003e";
    } else if (c == '&') {
      out += "\\u0026";
    } else if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string pageHtml(PageKind kind, std::string_view embeddedData) {
  std::string page(PageSources::PAGE_HTML);
  // The data goes in last: it may hold anything, placeholders included.
  fill(page, "/*KELP-STYLE*/", PageSources::PAGE_CSS);
  std::string script(PageSources::COMMON_JS);
  script += '\n';
  script += kind == PageKind::Match ? PageSources::MATCH_JS : PageSources::SERIES_JS;
  fill(page, "/*KELP-SCRIPT*/", script);
  fill(page, "KELP-DATA", embeddedData);
  return page;
}

}  // namespace Kelp::Referee
