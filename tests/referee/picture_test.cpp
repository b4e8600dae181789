#include "referee/picture.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "referee/match.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string SOURCE = KELP_SOURCE_DIR;

bool haveRenderer() {
  return std::system("rsvg-convert --version > /dev/null 2>&1") == 0;
}

// Parses, renders and samples a picture with the probe script.
json probe(const std::string& svg) {
  const std::string png = svg + ".png";
  const std::string cmd =
      "python3 " + SOURCE + "/tests/referee/svg_probe.py '" + svg + "' '" + png + "'";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = pclose(p);
  EXPECT_EQ(status, 0) << cmd;
  return status == 0 ? json::parse(out) : json();
}

// The sheet's scale and origin as the picture's own lines show them: the
// centre line is x = 0, the tee line y = 0, the back line y = 1.83.
struct Frame {
  double x0, y0, scale;
};
Frame frameOf(const json& pic) {
  const double x0 = pic["lines"]["centre-line"][0];
  const double y0 = pic["lines"]["tee-line"][1];
  const double back = pic["lines"]["back-line"][1];
  return {x0, y0, (y0 - back) / 1.83};
}

void expectEngineColour(const json& rgb, const std::string& engine, int slot) {
  const int r = rgb[0], g = rgb[1], b = rgb[2];
  if (engine == "A") {
    EXPECT_TRUE(r > 150 && g < 80 && b < 80) << "A is red, slot " << slot << ": " << rgb;
  } else {
    EXPECT_TRUE(r > 200 && g > 170 && b < 80) << "B is yellow, slot " << slot << ": " << rgb;
  }
}

// The stones a person sees in the rendered picture are the record's stones,
// at the record's positions, in their engine's colour.
void expectMatchesRecord(const json& pic, const json& stones) {
  const Frame f = frameOf(pic);
  EXPECT_NEAR(f.scale, PIXELS_PER_METRE, 0.5);
  EXPECT_EQ(pic["width"], pic["svg_width"]);
  std::set<int> drawn;
  for (const json& s : pic["stones"]) {
    const int slot = s["slot"];
    drawn.insert(slot);
    ASSERT_FALSE(stones[slot].is_null()) << "slot " << slot << " is not in play";
    const double x = stones[slot][0], y = stones[slot][1];
    EXPECT_NEAR(s["cx"].get<double>(), f.x0 + f.scale * x, 0.6) << "slot " << slot;
    EXPECT_NEAR(s["cy"].get<double>(), f.y0 - f.scale * y, 0.6) << "slot " << slot;
    EXPECT_NEAR(s["r"].get<double>(), f.scale * 0.145, 0.2);
    EXPECT_EQ(s["engine"], slot % 2 == 0 ? "A" : "B") << "A threw first, so the even slots";
    expectEngineColour(s["rendered"], s["engine"], slot);
  }
  for (int k = 0; k < 16; ++k) EXPECT_EQ(drawn.count(k) == 1, !stones[k].is_null()) << k;
}

TEST(Pictures, ShowTheRecordedStonesAndTheThrownStonesPath) {
  if (!haveRenderer()) GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed";
  const std::string dir = KELP_BINARY_DIR "/test-output/referee-pictures/match";
  fs::remove_all(dir);
  const std::string fake = SOURCE + "/tests/referee/fake_engine.py";
  MatchConfig c;
  c.commands[0] = {"python3", fake, "--script", "ok"};
  c.commands[1] = {"python3", fake, "--script", "draw:0.8:0.6,draw:-0.7:-1.0"};
  c.outDir = dir;
  c.seed = 4;
  c.maxThrows = 6;
  c.exitGrace = 1.0;
  Match match(c, nullptr);
  ASSERT_EQ(exitStatus(match.run()), 0);

  std::ifstream in(dir + "/record.jsonl");
  std::vector<json> rec;
  for (std::string line; std::getline(in, line);) rec.push_back(json::parse(line));
  ASSERT_EQ(rec.size(), 6u);

  for (int shot : {1, 4}) {  // decoding in the probe is slow; two throws suffice
    const json pic = probe(fmt::format("{}/end00-shot{:02}.svg", dir, shot));
    ASSERT_FALSE(pic.is_null());
    expectMatchesRecord(pic, rec[shot]["stones"]);
    EXPECT_GE(pic["paths"].size(), 1u) << "the thrown stone's path, shot " << shot;
  }
  const json end = probe(dir + "/end00.svg");
  expectMatchesRecord(end, rec.back()["stones"]);
  EXPECT_EQ(end["paths"].size(), 0u) << "the end picture shows where the stones rest";
}

TEST(Pictures, KeepStonesShortOfTheHouseInViewAndEscapeTheirText) {
  if (!haveRenderer()) GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed";
  const std::string dir = KELP_BINARY_DIR "/test-output/referee-pictures/direct";
  fs::create_directories(dir);
  SheetPicture pic;
  pic.title = "engine <a> & \"b\"";
  pic.stones[0] = {true, 0.5, -20.0};  // far short of the drawn part
  pic.stones[1] = {true, -0.2, 0.1};
  pic.sideOfSlot[1] = SIDE_B;
  const std::string path = dir + "/short.svg";
  ASSERT_TRUE(writeSvg(path, pic));
  const json out = probe(path);  // parses as XML, so the title is escaped
  ASSERT_EQ(out["stones"].size(), 2u);
  const json& shortStone = out["stones"][0];
  EXPECT_LT(shortStone["cy"].get<double>() + shortStone["r"].get<double>(),
            out["height"].get<double>() + 0.5);
  EXPECT_GT(shortStone["cy"].get<double>(), out["lines"]["hog-line"][1].get<double>());
  expectEngineColour(shortStone["rendered"], "A", 0);
  expectEngineColour(out["stones"][1]["rendered"], "B", 1);
}

}  // namespace
}  // namespace Kelp::Referee
