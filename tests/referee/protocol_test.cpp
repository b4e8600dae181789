#include "referee/protocol.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace Kelp::Referee {
namespace {

using Kind = Reply::Kind;
const auto T0 = std::chrono::steady_clock::time_point{};

std::vector<Reply> drain(ReplyScanner& s) {
  std::vector<Reply> out(s.replies().begin(), s.replies().end());
  s.replies().clear();
  return out;
}

// The engine's replies carry no line end and share the stream with its
// diagnostic lines; the pipe may cut the stream anywhere.
TEST(ReplyScanner, FindsRepliesInsideDiagnosticsWhateverThePipeCuts) {
  const std::string stream =
      "Count : Size : ShontNumber : header READYOK,12,34,0,draw,0.5,1,2\n"
      "BESTSHOT -0.500000 30.000000 1,99,1,1,guard,0,0,0\nBESTSHOT 0.100000 -29.000000 0";
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, stream.size()}) {
    ReplyScanner s;
    for (std::size_t i = 0; i < stream.size(); i += piece) s.feed(stream.substr(i, piece), T0);
    EXPECT_TRUE(s.pending()) << "the last spin digit might go on";
    s.settle(T0);
    const auto r = drain(s);
    ASSERT_EQ(r.size(), 3u) << "piece " << piece;
    EXPECT_EQ(r[0].kind, Kind::ReadyOk);
    EXPECT_EQ(r[1].kind, Kind::BestShot);
    EXPECT_DOUBLE_EQ(r[1].vx, -0.5);
    EXPECT_DOUBLE_EQ(r[1].vy, 30.0);
    EXPECT_EQ(r[1].spin, 1);
    EXPECT_EQ(r[1].text, "BESTSHOT -0.500000 30.000000 1");
    EXPECT_EQ(r[2].kind, Kind::BestShot);
    EXPECT_DOUBLE_EQ(r[2].vy, -29.0);
    EXPECT_EQ(r[2].spin, 0);
  }
}

TEST(ReplyScanner, AReplyIsCompleteAtTheFirstByteAfterItsSpin) {
  ReplyScanner s;
  s.feed("BESTSHOT 1 2 1", T0);
  EXPECT_TRUE(s.replies().empty());
  s.feed("0", T0);  // a multi-digit spin is still one number
  EXPECT_TRUE(s.replies().empty());
  s.feed(",diag", T0);
  EXPECT_FALSE(s.pending());
  const auto r = drain(s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].spin, 10);
  // A reply cut before its spin is not complete, even at a quiet moment.
  s.feed("BESTSHOT 1 2 ", T0);
  s.settle(T0);
  EXPECT_TRUE(s.replies().empty());
  s.feed("0 ", T0);
  EXPECT_EQ(drain(s).size(), 1u);
}

TEST(ReplyScanner, MalformedRepliesAreReportedAndScanningGoesOn) {
  const std::vector<std::string> bad = {"BESTSHOT left right 0\n",
                                        "BESTSHOT 1.0\n",
                                        "BESTSHOT nan 30.0 0 ",
                                        "BESTSHOT 1e999 30.0 0 ",
                                        "BESTSHOT 0.1 30.0 x\n",
                                        "BESTSHOT  0.1 30.0 0 ",
                                        "BESTSHOT,0.1,30.0,0\n",
                                        "BESTSHOT 0.1 30.0 12345678901 ",
                                        "BESTSHOT " + std::string(100, '1') + " 1 0 "};
  for (const std::string& b : bad) {
    ReplyScanner s;
    s.feed(b + "BESTSHOT 0.25 31 0 ", T0);
    const auto r = drain(s);
    ASSERT_EQ(r.size(), 2u) << b;
    EXPECT_EQ(r[0].kind, Kind::Malformed) << b;
    EXPECT_EQ(r[0].text.rfind("BESTSHOT", 0), 0u) << b;
    EXPECT_LE(r[0].text.size(), 120u) << b;
    EXPECT_EQ(r[1].kind, Kind::BestShot) << b;
    EXPECT_DOUBLE_EQ(r[1].vx, 0.25) << b;
  }
}

TEST(ReplyScanner, EndlessDiagnosticsFindTheReplyAtTheirEnd) {
  ReplyScanner s;
  const std::string noise(4096, 'B');
  for (int i = 0; i < 2000; ++i) s.feed(noise, T0);  // 8 MB of near-keywords
  s.feed("ESTSHOT 0 30 1 ", T0);                     // completes "BESTSHOT"
  const auto r = drain(s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, Kind::BestShot);
}

TEST(Messages, AreWhatTheEngineParses) {
  RecordPositions p{};
  p[0] = {2.375f, 4.88f};
  p[15] = {0.5f, 1e-5f};
  const std::string m = positionMessage(p);
  std::istringstream in(m);
  std::string word;
  std::vector<std::string> words;
  while (std::getline(in, word, ' ')) words.push_back(word);
  ASSERT_EQ(words.size(), 33u);  // no doubled or trailing spaces
  EXPECT_EQ(words[0], "POSITION");
  EXPECT_EQ(std::strtof(words[1].c_str(), nullptr), 2.375f);
  EXPECT_EQ(std::strtof(words[2].c_str(), nullptr), 4.88f);
  EXPECT_EQ(std::strtof(words[31].c_str(), nullptr), 0.5f);
  EXPECT_EQ(std::strtof(words[32].c_str(), nullptr), 1e-5f);
  EXPECT_EQ(setStateMessage(3, 1, 8, 1), "SETSTATE 3 1 8 1");
  EXPECT_EQ(scoreMessage(-2), "SCORE -2");
  EXPECT_EQ(totalScoreMessage(1, 4), "TOTALSCORE 1 4");
}

}  // namespace
}  // namespace Kelp::Referee
