# Writes the page sources (page.html, page.css, common.js, match.js,
# series.js beside this script) into a C++ header as string constants, so
# that the referee carries its pages and the sources stay real files that
# an editor, a linter and a browser can open.
#   cmake -DOUT=header.h -P embed.cmake
set(dir ${CMAKE_CURRENT_LIST_DIR})
set(text "// Generated from referee/page/ by embed.cmake: do not edit.\n#pragma once\n\n#include <string_view>\n\nnamespace Kelp::Referee::PageSources {\n\n")
foreach(pair "PAGE_HTML;page.html" "PAGE_CSS;page.css" "COMMON_JS;common.js" "MATCH_JS;match.js" "SERIES_JS;series.js")
  list(GET pair 0 name)
  list(GET pair 1 file)
  file(READ ${dir}/${file} body)
  # The sources go inside <script> and <style> elements: none may end one,
  # nor the raw string that holds it.
  string(TOLOWER "${body}" lower)
  foreach(bad "</script" "</style" ")kelp-page\"")
    string(FIND "${lower}" "${bad}" at)
    if(NOT file STREQUAL "page.html" AND NOT at EQUAL -1)
      message(FATAL_ERROR "${file} holds ${bad}, which would end its element")
    endif()
  endforeach()
  string(APPEND text "inline constexpr std::string_view ${name} = R\"kelp-page(${body})kelp-page\";\n\n")
endforeach()
string(APPEND text "}  // namespace Kelp::Referee::PageSources\n")
# Rewritten only when it changed, so that a touched source rebuilds one file.
set(old "")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
