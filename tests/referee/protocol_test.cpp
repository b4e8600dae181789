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
// pipe may cut the stream anywhere, and only the last read emptied it.
TEST(ReplyScanner, FindsRepliesInsideDiagnosticsWhereverThePipeCuts) {
  const std::string stream =
      "Count : Size : header READYOK,12,34,0,draw,0.5,1,2\n"
      "BESTSHOT -0.500000 30.000000 1\r\n,99,1,1,guard\nBESTSHOT 0.100000 -29.000000 0";
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, stream.size()}) {
    ReplyScanner s;
    for (std::size_t i = 0; i < stream.size(); i += piece) {
      s.feed(stream.substr(i, piece), i + piece >= stream.size(), T0);
    }
    const auto r = take(s);
    ASSERT_EQ(r.size(), 3u) << "piece " << piece;
    EXPECT_TRUE(r[0].kind == Kind::ReadyOk && r[1].kind == Kind::BestShot &&
                r[2].kind == Kind::BestShot);
    EXPECT_EQ(r[1].text, "BESTSHOT -0.500000 30.000000 1");
    EXPECT_TRUE(r[1].vx == -0.5 && r[1].spin == 1 && r[2].vy == -29.0 && r[2].spin == 0);
  }
}

// A reply ends at a line end or where a read emptied the pipe: later bytes
// never change it, and bytes that were already there do.
TEST(ReplyScanner, AReplyEndsAtALineEndOrWhereTheEnginesOutputEnded) {
  ReplyScanner s;
  s.feed("BESTSHOT 1 -30 0", true, T0);
  s.feed("1,0,0,diagnostic\n", true, T0);
  auto r = take(s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(r[0].spin == 0 && r[0].text == "BESTSHOT 1 -30 0") << r[0].text;

  s.feed("BESTSHOT 1 -30 0", false, T0);  // more was in the pipe
  EXPECT_TRUE(take(s).empty());
  s.feed("1\n", true, T0);
  r = take(s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, Kind::Malformed) << "spin 01";

  // Cut anywhere before its end, a reply waits for the rest; one that never
  // ends is malformed when the wait is over.
  s.feed("BESTSHOT 1 -30", true, T0);
  s.feed(" ", true, T0);
  EXPECT_TRUE(s.partial());
  EXPECT_TRUE(take(s).empty());
  s.close(T0);
  r = take(s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, Kind::Malformed);
  EXPECT_FALSE(s.partial());
}

TEST(ReplyScanner, MalformedRepliesAreReportedAndScanningGoesOn) {
  for (const std::string& bad : std::vector<std::string>{
           "BESTSHOT left right 0\n", "BESTSHOT 1.0\n", "BESTSHOT nan 30.0 0\n",
           "BESTSHOT 1e999 30.0 0\n", "BESTSHOT 0.1 30.0 x\n", "BESTSHOT  0.1 30.0 0\n",
           "BESTSHOT,0.1,30.0,0\n", "BESTSHOT 0.1 30.0 7\n", "BESTSHOT 0.1 30.0 -1\n",
           "BESTSHOT 0.1 30.0 01\n", "BESTSHOT 0.1 30.0 10\n", "BESTSHOT 0.1 30.0 0 extra\n",
           "BESTSHOT 0.1 30.0 0 \n", "BESTSHOT 0.1 30.0\n", "BESTSHOT 0x1p3 30.0 0\n",
           "BESTSHOT inf 30.0 0\n", "BESTSHOT " + std::string(100, '1') + " 1 0\n"}) {
    ReplyScanner s;
    s.feed(bad + "BESTSHOT 0.25 31 0\n", true, T0);
    const auto r = take(s);
    ASSERT_EQ(r.size(), 2u) << bad;
    EXPECT_TRUE(r[0].kind == Kind::Malformed && r[0].text.rfind("BESTSHOT", 0) == 0 &&
                r[0].text.size() <= 120u)
        << bad << " -> " << r[0].text;
    EXPECT_TRUE(r[1].kind == Kind::BestShot && r[1].vx == 0.25) << bad;
  }
}

// Whatever the engine prints, the scanner keeps at most MAX_KEPT_REPLIES
// replies and one reply's worth of carried bytes.
TEST(ReplyScanner, FloodsAreCountedNotKept) {
  ReplyScanner s;
  const std::string noise(4096, 'B');
  for (int i = 0; i < 2000; ++i) s.feed(noise, false, T0);  // 8 MB of near-keywords
  s.feed("ESTSHOT 0 30 1", true, T0);                       // completes "BESTSHOT"
  auto r = take(s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, Kind::BestShot);

  std::string tokens;
  for (int i = 0; i < 8192; ++i) tokens += i % 2 ? "BESTSHOT " : "READYOK";
  for (int i = 0; i < 64; ++i) s.feed(tokens, false, T0);  // 512K replies, 8 MB
  EXPECT_EQ(s.replies().size(), 2 * MAX_KEPT_REPLIES) << "as many of each kind";
  EXPECT_EQ(s.overflow(), 64u * 8192 - 1 - 2 * MAX_KEPT_REPLIES) << "the last waits for its end";
  EXPECT_TRUE(s.partial());
  // A flood of one kind leaves room for the other.
  ReplyScanner t;
  for (int i = 0; i < 100; ++i) t.feed("READYOK", false, T0);
  t.feed("BESTSHOT 1 -30 1\n", true, T0);
  EXPECT_EQ(t.replies().back().kind, Kind::BestShot);
}

}  // namespace
}  // namespace Kelp::Referee
