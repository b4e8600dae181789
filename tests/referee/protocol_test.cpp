#include "referee/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Kelp::Referee {
namespace {

using Kind = Reply::Kind;
const auto T0 = std::chrono::steady_clock::time_point{};

std::vector<Reply> take(ReplyScanner& s) {
  std::vector<Reply> out(s.replies().begin(), s.replies().end());
  s.replies().clear();
  return out;
}

// Replies carry no line end and share the stream with diagnostic lines; the
// pipe may cut the stream anywhere.
TEST(ReplyScanner, FindsRepliesInsideDiagnosticsWhereverThePipeCuts) {
  const std::string stream =
      "Count : Size : header READYOK,12,34,0,draw,0.5,1,2\n"
      "BESTSHOT -0.500000 30.000000 1,99,1,1,guard\nBESTSHOT 0.100000 -29.000000 10";
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, stream.size()}) {
    ReplyScanner s;
    for (std::size_t i = 0; i < stream.size(); i += piece) s.feed(stream.substr(i, piece), T0);
    EXPECT_TRUE(s.pending()) << "the last spin's digits might go on";
    s.settle(T0);
    const auto r = take(s);
    ASSERT_EQ(r.size(), 3u) << "piece " << piece;
    EXPECT_EQ(r[0].kind, Kind::ReadyOk);
    EXPECT_EQ(r[1].kind, Kind::BestShot);
    EXPECT_EQ(r[1].text, "BESTSHOT -0.500000 30.000000 1");
    EXPECT_DOUBLE_EQ(r[1].vx, -0.5);
    EXPECT_EQ(r[1].spin, 1);
    EXPECT_DOUBLE_EQ(r[2].vy, -29.0);
    EXPECT_EQ(r[2].spin, 10);
  }
  // A reply cut before its spin is not complete, even at a quiet moment.
  ReplyScanner s;
  s.feed("BESTSHOT 1 2 ", T0);
  s.settle(T0);
  EXPECT_TRUE(s.replies().empty());
  s.feed("0 ", T0);
  EXPECT_EQ(take(s).size(), 1u);
}

TEST(ReplyScanner, MalformedRepliesAreReportedAndScanningGoesOn) {
  for (const std::string& bad : std::vector<std::string>{
           "BESTSHOT left right 0\n", "BESTSHOT 1.0\n", "BESTSHOT nan 30.0 0 ",
           "BESTSHOT 1e999 30.0 0 ", "BESTSHOT 0.1 30.0 x\n", "BESTSHOT  0.1 30.0 0 ",
           "BESTSHOT,0.1,30.0,0\n", "BESTSHOT 0.1 30.0 12345678901 ",
           "BESTSHOT " + std::string(100, '1') + " 1 0 "}) {
    ReplyScanner s;
    s.feed(bad + "BESTSHOT 0.25 31 0 ", T0);
    const auto r = take(s);
    ASSERT_EQ(r.size(), 2u) << bad;
    EXPECT_EQ(r[0].kind, Kind::Malformed) << bad;
    EXPECT_EQ(r[0].text.rfind("BESTSHOT", 0), 0u) << bad;
    EXPECT_LE(r[0].text.size(), 120u) << bad;
    EXPECT_EQ(r[1].kind, Kind::BestShot) << bad;
    EXPECT_DOUBLE_EQ(r[1].vx, 0.25) << bad;
  }
}

TEST(ReplyScanner, EndlessDiagnosticsStillLetTheKeywordThrough) {
  ReplyScanner s;
  const std::string noise(4096, 'B');
  for (int i = 0; i < 2000; ++i) s.feed(noise, T0);  // 8 MB of near-keywords
  s.feed("ESTSHOT 0 30 1 ", T0);                     // completes "BESTSHOT"
  const auto r = take(s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, Kind::BestShot);
}

}  // namespace
}  // namespace Kelp::Referee
