// The pages' data: whatever an engine sends must come back as the same
// characters, and nothing in it may end the script element that holds it.
#include "referee/page.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "referee/match_page.h"

namespace Kelp::Referee {
namespace {

using nlohmann::json;

// The reply a hostile engine sends, with bytes that are not UTF-8.
const std::string HOSTILE =
    "BESTSHOT </script><script>alert(1)</script> <!-- <img src=x onerror=alert(2)> & "
    "\xE2\x80\xA8\xE2\x80\xA9 </SCRIPT> \xFF end";

TEST(Page, EmbeddedDataHoldsNoMarkupAndReadsBackAsTheSameCharacters) {
  const json data = {{"reply", HOSTILE}, {"names", {"<b>", "a&b"}}};
  const std::string text = embeddedJson(data);
  for (const char* bad : {"<", ">", "&", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xFF"}) {
    EXPECT_EQ(text.find(bad), std::string::npos) << bad << " in " << text;
  }
  const json back = json::parse(text);
  std::string expected = HOSTILE;
  expected.replace(expected.find('\xFF'), 1, "\xEF\xBF\xBD");  // U+FFFD
  EXPECT_EQ(back["reply"], expected);
  EXPECT_EQ(back["names"], data["names"]);
}

// Paths shrink to the part the page draws, in mm and steps, each point
// after the first as a difference: decoded, they give the sampled points.
TEST(Page, PathsKeepTheDrawnPartAsDifferencesInMillimetres) {
  std::array<std::vector<PathPoint>, SHOTS_PER_END> paths;
  paths[3] = {{0.0f, -36.4f, 0}, {0.01f, -20.0f, 20}, {0.02f, -7.5f, 40},
              {0.1f, -6.0f, 60}, {0.2f, 0.5f, 80},    {0.2f, 0.5f, 80}};
  paths[5] = {{1.0f, 1.0f, 0}, {1.5f, 2.5f, 80}};  // struck in step 61..80
  const json got = pagePaths(paths, 20);
  ASSERT_EQ(got.size(), 2u);
  // From the last point before the view (y = -7.5) on; the stop sampled
  // twice is kept once; a still stone holds until just before it moves.
  EXPECT_EQ(got[0], json::array({3, 40, 20, -7500, 20, 80, 1500, 20, 100, 6500}));
  EXPECT_EQ(got[1], json::array({5, 0, 1000, 1000, 60, 0, 0, 20, 500, 1500}));
}

}  // namespace
}  // namespace Kelp::Referee
