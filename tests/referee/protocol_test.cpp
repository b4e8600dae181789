#include "referee/protocol.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Kelp::Referee {
namespace {

using Kind = Reply::Kind;
const auto T0 = std::chrono::steady_clock::time_point{};

// The replies taken, a line each: "ready", "bad TEXT" (without its line end)
// or "VX VY SPIN [TEXT]".
std::string take(ReplyScanner& s) {
  std::string out;
  for (const Reply& r : s.replies()) {
    out += r.kind == Kind::ReadyOk     ? "ready\n"
           : r.kind == Kind::Malformed ? "bad " + r.text.substr(0, r.text.find('\n')) + "\n"
                                       : fmt::format("{} {} {} [{}]\n", r.vx, r.vy, r.spin, r.text);
  }
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
    EXPECT_EQ(take(s),
              "ready\n-0.5 30 1 [BESTSHOT -0.500000 30.000000 1]\n"
              "0.1 -29 0 [BESTSHOT 0.100000 -29.000000 0]\n")
        << "piece " << piece;
  }
}

// A reply ends at a line end or where a read emptied the pipe: later bytes
// never change it, and bytes that were already there do.
TEST(ReplyScanner, AReplyEndsAtALineEndOrWhereTheEnginesOutputEnded) {
  ReplyScanner s;
  s.feed("BESTSHOT 1 -30 0", true, T0);
  s.feed("1,0,0,diagnostic\n", true, T0);
  EXPECT_EQ(take(s), "1 -30 0 [BESTSHOT 1 -30 0]\n");

  s.feed("BESTSHOT 1 -30 0", false, T0);  // more was in the pipe
  EXPECT_EQ(take(s), "");
  s.feed("1\n", true, T0);
  EXPECT_EQ(take(s), "bad BESTSHOT 1 -30 01\n") << "spin 01";

  // Cut anywhere before its end, a reply waits for the rest; one that never
  // ends is malformed when the wait is over.
  s.feed("BESTSHOT 1 -30", true, T0);
  s.feed(" ", true, T0);
  EXPECT_TRUE(s.partial() && take(s).empty());
  s.close(T0);
  EXPECT_EQ(take(s), "bad BESTSHOT 1 -30 \n");
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
    // Reported, its text cut short if long, and the next reply read.
    const std::string r = take(s);
    const std::size_t cut = r.find('\n');
    EXPECT_TRUE(r.rfind("bad BESTSHOT", 0) == 0 && cut <= 124 &&
                r.substr(cut) == "\n0.25 31 0 [BESTSHOT 0.25 31 0]\n")
        << bad << " -> " << r;
  }
}

// Whatever the engine prints, the scanner keeps at most MAX_KEPT_REPLIES
// replies and one reply's worth of carried bytes.
TEST(ReplyScanner, FloodsAreCountedNotKept) {
  ReplyScanner s;
  const std::string noise(4096, 'B');
  for (int i = 0; i < 2000; ++i) s.feed(noise, false, T0);  // 8 MB of near-keywords
  s.feed("ESTSHOT 0 30 1", true, T0);                       // completes "BESTSHOT"
  EXPECT_EQ(take(s), "0 30 1 [BESTSHOT 0 30 1]\n");

  std::string tokens;
  for (int i = 0; i < 8192; ++i) tokens += i % 2 ? "BESTSHOT " : "READYOK";
  for (int i = 0; i < 64; ++i) s.feed(tokens, false, T0);  // 512K replies, 8 MB
  EXPECT_EQ(s.replies().size(), 2 * MAX_KEPT_REPLIES) << "as many of each kind";
  EXPECT_TRUE(s.partial() && s.overflow() == 64u * 8192 - 1 - 2 * MAX_KEPT_REPLIES)
      << s.overflow() << ": the last waits for its end";
  // A flood of one kind leaves room for the other.
  ReplyScanner t;
  for (int i = 0; i < 100; ++i) t.feed("READYOK", false, T0);
  t.feed("BESTSHOT 1 -30 1\n", true, T0);
  EXPECT_EQ(t.replies().back().kind, Kind::BestShot);
}

}  // namespace
}  // namespace Kelp::Referee
