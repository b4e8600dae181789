// The pages' data: whatever an engine sends must come back as the same
// characters, and nothing in it may end the script element that holds it.
#include "referee/page.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "referee/match.h"
#include "referee/match_page.h"
#include "support/tempdir.h"

namespace Kelp::Referee {
namespace {

using nlohmann::json;

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

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

TEST(Page, AMatchPageWithAHostileEngineHasOnlyItsOwnScripts) {
  MatchConfig config;
  config.names = {"</script><script>alert(3)</script>", "kelp"};
  config.commands = {std::vector<std::string>{config.names[0]}, std::vector<std::string>{"kelp"}};
  MatchPage page(config);
  ThrowRecord rec;
  rec.status = ReplyStatus::Malformed;
  rec.reply = HOSTILE;
  page.add(rec, 0.5, nullptr);
  MatchResult result;
  result.faults.push_back({SIDE_A, 0, 0, "malformed reply: " + HOSTILE});
  const std::string html = page.html(result, MatchState::Finished);
  // The frame's two script elements and nothing else, whatever case.
  EXPECT_EQ(count(html, "<script"), 2u);
  EXPECT_EQ(count(html, "</script"), 2u);
  EXPECT_EQ(count(html, "<SCRIPT") + count(html, "</SCRIPT"), 0u);
  EXPECT_EQ(count(html, "<img"), 0u);
  // The data element's text reads back as the match.
  const std::string open = R"(<script id="kelp-data" type="application/json">)";
  const std::size_t from = html.find(open) + open.size();
  const json data = json::parse(html.substr(from, html.find("</script>", from) - from));
  EXPECT_EQ(data["match"]["names"][0], config.names[0]);
  EXPECT_EQ(data["throws"][0]["status"], "malformed");
  EXPECT_EQ(data["state"], "finished");
  EXPECT_EQ(data["faults"][0]["what"].get<std::string>().substr(0, 27),
            "malformed reply: BESTSHOT <");
}

// Paths shrink to the part the page draws, in mm and steps, each point
// after the first as a difference: decoded, they give the sampled points.
TEST(Page, PathsKeepTheDrawnPartAsDifferencesInMillimetres) {
  std::array<std::vector<PathPoint>, SHOTS_PER_END> paths;
  paths[3] = {{0.0f, -36.4f, 0}, {0.01f, -20.0f, 20}, {0.02f, -7.5f, 40}, {0.1f, -6.0f, 60},
              {0.2f, 0.5f, 80},  {0.2f, 0.5f, 80}};
  paths[5] = {{1.0f, 1.0f, 60}, {1.5f, 2.5f, 80}};
  const json got = pagePaths(paths);
  ASSERT_EQ(got.size(), 2u);
  // From the last point before the view (y = -7.5) on; the stop sampled
  // twice is kept once.
  EXPECT_EQ(got[0], json::array({3, 40, 20, -7500, 20, 80, 1500, 20, 100, 6500}));
  EXPECT_EQ(got[1], json::array({5, 60, 1000, 1000, 20, 500, 1500}));
}

// A reply that is not UTF-8 stays in record.jsonl, as U+FFFD, and the
// record stays JSON.
TEST(Page, ARecordLineWithBytesThatAreNotUtf8IsStillJson) {
  KelpTest::TempDir dir;
  RecordWriter writer;
  ASSERT_TRUE(writer.open(dir.str() + "/record.jsonl"));
  ThrowRecord rec;
  rec.reply = "BESTSHOT \xFF\xFE";
  writer.write(rec);
  ASSERT_TRUE(writer.close());
  const json line = json::parse(KelpTest::readFile(dir.str() + "/record.jsonl"));
  EXPECT_EQ(line["reply"], "BESTSHOT \xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace Kelp::Referee
