#include "referee/picture.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "referee/match.h"
#include "referee_run.h"

namespace Kelp::Referee {
namespace {

using nlohmann::json;

// A picture as a person sees it, from svg_probe.py: parsed as XML, rendered
// with rsvg-convert (to PICTURE.png), its parts and rendered colours as JSON.
json probeSvg(const std::string& svg) {
  const KelpTest::Outcome r = KelpTest::runToEnd(
      "/usr/bin/python3", {KELP_SOURCE_DIR "/tests/referee/svg_probe.py", svg, svg + ".png"});
  EXPECT_EQ(r.status, 0) << r.out;
  return json::parse(r.out, nullptr, false);
}

// The stones a person sees in the rendered picture are the record's stones,
// at the record's positions, in their engine's colour. Scale and origin come
// from the picture's own lines: centre line x = 0, tee line y = 0, back line
// y = 1.83.
void expectMatchesRecord(const json& pic, const json& stones) {
  ASSERT_FALSE(pic.is_discarded());
  const double x0 = pic["lines"]["centre-line"][0], y0 = pic["lines"]["tee-line"][1];
  const double scale = (y0 - pic["lines"]["back-line"][1].get<double>()) / 1.83;
  EXPECT_NEAR(scale, PIXELS_PER_METRE, 0.5);
  std::set<int> drawn;
  for (const json& s : pic["stones"]) {
    const int slot = s["slot"];
    drawn.insert(slot);
    ASSERT_FALSE(stones[slot].is_null()) << "slot " << slot << " is not in play";
    const double x = stones[slot][0], y = stones[slot][1], cy = s["cy"];
    EXPECT_NEAR(s["cx"].get<double>(), x0 + scale * x, 0.6) << slot;
    if (y > VIEW_Y_BOTTOM) {
      EXPECT_NEAR(cy, y0 - scale * y, 0.6) << slot;
    } else {  // short of the drawn part: at its bottom edge, still in the picture
      EXPECT_GT(cy, pic["lines"]["hog-line"][1].get<double>()) << slot;
      EXPECT_LE(cy + s["r"].get<double>(), pic["height"].get<double>() + 0.5) << slot;
    }
    EXPECT_NEAR(s["r"].get<double>(), scale * 0.145, 0.2);
    EXPECT_EQ(s["engine"], slot % 2 == 0 ? "A" : "B") << "A threw first: the even slots";
    const int r = s["rendered"][0], g = s["rendered"][1], b = s["rendered"][2];
    const bool red = r > 150 && g < 80 && b<80, yellow = r> 200 && g > 170 && b < 80;
    EXPECT_TRUE(slot % 2 == 0 ? red : yellow) << "A is red, B yellow; slot " << slot << ": " << s;
  }
  for (int k = 0; k < 16; ++k) EXPECT_EQ(drawn.count(k) == 1, !stones[k].is_null()) << k;
}

// A picture that cannot be written is reported and the match goes on.
TEST(Pictures, ShowTheRecordedStonesAndTheThrownStonesPath) {
  const std::string dir = KelpTest::outDir("referee-pictures");
  std::filesystem::create_directories(dir + "/end00-shot00.svg");  // a folder where it goes
  MatchConfig c;
  // B: a throw into the house, then short of the drawn part of the sheet.
  c.commands = {KelpTest::words(KelpTest::FAKE + " --script ok"),
                KelpTest::words(KelpTest::FAKE + " --script draw:0.8:0.6,draw:0.5:-12")};
  c.outDir = dir;
  c.seed = 4;
  c.maxThrows = 6;
  std::ostringstream progress;
  Match match(c, &progress);
  ASSERT_EQ(exitStatus(match.run()), 0);
  EXPECT_NE(progress.str().find("cannot write picture " + dir + "/end00-shot00.svg\n"),
            std::string::npos)
      << progress.str();
  if (std::system("rsvg-convert --version > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed";
  }
  const std::vector<json> rec = KelpTest::jsonLines(dir + "/record.jsonl");
  ASSERT_EQ(rec.size(), 6u);
  for (int shot : {1, 5}) {  // B in the house, and B short of the drawn part
    const json pic = probeSvg(fmt::format("{}/end00-shot{:02}.svg", dir, shot));
    expectMatchesRecord(pic, rec[shot]["stones"]);
    EXPECT_GE(pic["paths"].size(), 1u) << "the thrown stone's path, shot " << shot;
  }
  const json end = probeSvg(dir + "/end00.svg");
  expectMatchesRecord(end, rec.back()["stones"]);
  EXPECT_EQ(end["paths"].size(), 0u) << "the end picture shows where the stones rest";
}

}  // namespace
}  // namespace Kelp::Referee
