#include "referee/match.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "referee/picture.h"
#include "referee/stop.h"

namespace Kelp::Referee {
namespace {

// Throws faster than this are not from a reply: a defence against numbers
// that would overflow the physics' single-precision state.
constexpr double MAX_REPLY_SPEED = 1000.0;

Clock::duration seconds(double s) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// A picture that cannot be written costs only itself: it is reported in the
// match's progress (standard error without one) and the match goes on.
void writePicture(const std::string& path, const SheetPicture& pic, std::ostream* progress) {
  if (writeSvg(path, pic)) return;
  (progress ? *progress : std::cerr) << "  cannot write picture " << path << '\n' << std::flush;
}

}  // namespace

struct Match::Engine {
  EngineProcess process;
  bool goneReported = false;
};

Match::Match(MatchConfig config, std::ostream* progress)
    : config_(std::move(config)), progress_(progress), random_(config_.seed), page_(config_) {
  for (auto& e : engines_) e = std::make_unique<Engine>();
}

Match::~Match() = default;

void Match::say(const std::string& line) {
  if (progress_) *progress_ << line << '\n' << std::flush;
}

void Match::writePage(MatchState state) {
  if (page_.write(config_.outDir, result_, state) || pageFailed_) return;
  pageFailed_ = true;
  (progress_ ? *progress_ : std::cerr) << "  cannot write " << config_.outDir << "/match.html\n"
                                       << std::flush;
}

std::string Match::sideLabel(int side) const {
  if (config_.names[side] == SIDE_NAME[side]) return SIDE_NAME[side];
  return fmt::format("{} ({})", SIDE_NAME[side], config_.names[side]);
}

void Match::fault(int side, int end, int shot, const std::string& what) {
  result_.faults.push_back({side, end, shot, what});
  engines_[side]->process.note(what);
  say(fmt::format("  fault: engine {}: {}", SIDE_NAME[side], what));
}

void Match::startEngines() {
  for (int side = 0; side < 2; ++side) {
    const std::string dir = fmt::format("{}/engine-{}", config_.outDir, side == 0 ? 'a' : 'b');
    const std::string log = fmt::format("{}/engine-{}.log", config_.outDir, side == 0 ? 'a' : 'b');
    EngineProcess& p = engines_[side]->process;
    if (!p.start(config_.commands[side], dir, log)) {
      engines_[side]->goneReported = true;
      fault(side, -1, -1, p.error());
    }
  }
}

void Match::sendTo(int side, const std::string& message) {
  engines_[side]->process.queue(message);
  noteIfGone(side, -1, -1);
}

void Match::noteIfGone(int side, int end, int shot) {
  Engine& e = *engines_[side];
  if (e.process.alive() || e.goneReported) return;
  // The death is a fault once; later turns are forfeits only.
  e.goneReported = true;
  fault(side, end, shot, "engine has exited");
}

void Match::tend(int side) {
  EngineProcess& p = engines_[side]->process;
  if (p.alive()) p.readSome(Clock::now());
}

void Match::sendBoth(const std::string& message) {
  sendTo(SIDE_A, message);
  sendTo(SIDE_B, message);
}

void Match::dropQueued(int side) {
  EngineProcess& p = engines_[side]->process;
  p.readPresent();
  // A reply begun now was begun before the request that is about to go.
  p.scanner().close(Clock::now());
  auto& queue = p.scanner().replies();
  for (; !queue.empty(); queue.pop_front()) p.dropUnasked(queue.front());
}

Match::Wait Match::awaitDelivery(int side, Clock::time_point deadline) {
  EngineProcess& p = engines_[side]->process;
  for (;;) {
    if (stopRequested()) return Wait::Stopped;
    if (!p.alive()) return Wait::Dead;
    if (p.delivered()) return Wait::Reply;
    const auto now = Clock::now();
    if (now >= deadline) return Wait::Late;
    tend(1 - side);
    p.readSome(std::min(deadline, now + std::chrono::milliseconds(5)));
  }
}

Match::Wait Match::awaitReply(int side, Reply::Kind kind, Clock::time_point deadline,
                              Reply& reply) {
  EngineProcess& p = engines_[side]->process;
  const bool wantShot = kind != Reply::Kind::ReadyOk;
  bool taken = false;  // the engine has read the request
  for (;;) {
    // Replies read while the request still sat in the pipe after the read
    // were written before the engine read it: unasked.
    taken = taken || p.delivered();
    auto& queue = p.scanner().replies();
    while (!queue.empty()) {
      Reply r = std::move(queue.front());
      queue.pop_front();
      if (taken && (r.kind != Reply::Kind::ReadyOk) == wantShot) {
        reply = std::move(r);
        return Wait::Reply;
      }
      p.dropUnasked(r);
    }
    if (!p.alive()) return Wait::Dead;
    if (stopRequested()) return Wait::Stopped;
    const auto now = Clock::now();
    if (now >= deadline) {
      // A reply begun and not ended in time is malformed (a missing spin).
      if (taken && p.scanner().partial()) {
        p.scanner().close(now);
        continue;
      }
      return Wait::Late;
    }
    // The other engine gets its queued messages meanwhile, and its output is
    // kept flowing.
    tend(1 - side);
    p.readSome(std::min(deadline, now + std::chrono::milliseconds(5)));
  }
}

ThrowRecord Match::playThrow(int end, int shot, int firstSide) {
  const int side = throwerOf(firstSide, shot);
  ThrowRecord rec;
  rec.end = end;
  rec.shot = shot;
  rec.side = side;
  rec.color = colorOf(firstSide, side);
  sideOfSlot_[shot] = side;

  for (int s = 0; s < 2; ++s) {
    sendTo(s, setStateMessage(shot, end, config_.ends, colorOf(firstSide, s)));
  }
  sendBoth(positionMessage(toRecord(sheet_)));

  // The error is drawn for every throw, faulted or not, so that the error of
  // a throw depends only on the seed and its place in the match.
  const Velocity error = config_.executionError ? executionError(random_) : Velocity{0.0, 0.0};
  rec.error = error;

  Engine& e = *engines_[side];
  Reply reply;
  Wait wait = Wait::Dead;
  const auto asked = Clock::now();
  const auto deadline = asked + seconds(config_.timeout);
  if (e.process.alive()) {
    // GO goes once the engine has read all before it, and what it wrote
    // until then (a late or repeated reply) is dropped: a reply counts only
    // for the GO it answers.
    wait = awaitDelivery(side, deadline);
    if (wait == Wait::Reply) {
      dropQueued(side);
      sendTo(side, "GO");
      wait = awaitReply(side, Reply::Kind::BestShot, deadline, reply);
    }
  }
  if (wait == Wait::Stopped) {
    interrupted_ = true;
    return rec;
  }
  const double thinking =
      std::chrono::duration<double>((wait == Wait::Reply ? reply.at : Clock::now()) - asked)
          .count();

  std::optional<ThrowResult> thrown;
  if (wait == Wait::Late) {
    rec.status = ReplyStatus::Late;
    fault(side, end, shot, fmt::format("no reply within {} s", config_.timeout));
  } else if (wait == Wait::Dead) {
    rec.status = ReplyStatus::Dead;
    noteIfGone(side, end, shot);
  } else {
    rec.reply = reply.text;
    const double speed = std::hypot(reply.vx, reply.vy);
    if (reply.kind == Reply::Kind::Malformed || !(speed <= MAX_REPLY_SPEED)) {
      rec.status = ReplyStatus::Malformed;
      fault(side, end, shot, "malformed reply: " + reply.text);
    } else {
      // The reply's vy is in the record frame; the physics works in the
      // board frame, where the stone travels toward +y.
      const ShotVector shotVector{reply.vx, -reply.vy, reply.spin};
      rec.thrown = withError(shotVector, error);
      // The paths are sampled even without pictures: the page moves the
      // stones along them.
      thrown = throwStone(
          sheet_, shot, *rec.thrown, protectedStones(sheet_, shot),
          ThrowSettings{config_.throwSettings.dt, true, config_.throwSettings.sampleEvery});
      rec.foul = thrown->foul;
      sheet_ = thrown->after;
    }
  }
  if (rec.status != ReplyStatus::Ok) ++result_.forfeits[side];
  rec.after = sheet_;

  const Stone& rest = sheet_[shot];
  say(fmt::format("end {} shot {:2} {} {:<40} {:<9} {:6.2f}s  {}{}", end, shot, SIDE_NAME[side],
                  rec.reply ? rec.reply->substr(0, 40) : std::string("-"), statusName(rec.status),
                  thinking,
                  rest.inPlay ? fmt::format("rest ({:.3f}, {:.3f})", rest.x, rest.y)
                              : std::string("out of play"),
                  rec.foul ? "  free-guard-zone foul: stones restored" : ""));
  if (config_.pictures) throwPicture(rec, firstSide, thrown ? &*thrown : nullptr);
  lastSeconds_ = thinking;
  lastPaths_.reset();
  if (thrown) lastPaths_ = std::move(thrown->paths);
  ++result_.throws;
  return rec;
}

void Match::playEnd(int end, int firstSide) {
  sheet_ = Sheet{};
  for (int shot = 0; shot < SHOTS_PER_END; ++shot) {
    if (config_.maxThrows >= 0 && result_.throws >= config_.maxThrows) {
      stopped_ = true;
      break;
    }
    if (stopRequested()) interrupted_ = true;
    if (interrupted_) return;
    ThrowRecord rec = playThrow(end, shot, firstSide);
    if (interrupted_) return;
    const bool last = shot == SHOTS_PER_END - 1 ||
                      (config_.maxThrows >= 0 && result_.throws >= config_.maxThrows);
    if (last) rec.endScore = scoreEnd(sheet_, firstSide);
    record_.write(rec);
    page_.add(rec, lastSeconds_, lastPaths_ ? &*lastPaths_ : nullptr);
    if (last && rec.endScore->side >= 0) {
      result_.total[rec.endScore->side] += rec.endScore->points;
    }
    writePage(MatchState::Playing);
  }
  const EndScore score = scoreEnd(sheet_, firstSide);
  result_.ends.push_back(score);
  // SCORE is positive for engine A, the first command.
  sendBoth(scoreMessage(score.side == SIDE_B ? -score.points : score.points));
  say(fmt::format("end {}: {}  (total A {} - {} B)", end,
                  score.side < 0 ? std::string("blank")
                                 : fmt::format("{} scores {}", SIDE_NAME[score.side], score.points),
                  result_.total[0], result_.total[1]));
  if (config_.pictures) endPicture(end, firstSide, score);
}

MatchResult Match::run() {
  std::error_code ec;
  std::filesystem::create_directories(config_.outDir, ec);
  if (ec || !record_.open(config_.outDir + "/record.jsonl")) {
    result_.error = "cannot write to " + config_.outDir;
    return result_;
  }
  // The page is there from the start, so that it can be opened at once.
  writePage(MatchState::Playing);
  startEngines();
  for (int side = 0; side < 2 && !interrupted_; ++side) {
    EngineProcess& p = engines_[side]->process;
    if (!p.alive()) continue;
    dropQueued(side);
    p.queue("ISREADY");
    Reply r;
    const Wait w =
        awaitReply(side, Reply::Kind::ReadyOk, Clock::now() + seconds(config_.readyTimeout), r);
    if (w == Wait::Stopped) interrupted_ = true;
    if (w == Wait::Late) {
      engines_[side]->goneReported = true;
      fault(side, -1, -1, "no READYOK in time; engine stopped");
      p.kill();
    }
    noteIfGone(side, -1, -1);
  }
  sendBoth("NEWGAME");

  int first = SIDE_A;
  for (int end = 0; end < config_.ends && !stopped_ && !interrupted_; ++end) {
    playEnd(end, first);
    if (!interrupted_) first = nextFirstSide(first, result_.ends.back());
  }
  if (interrupted_) {
    // No more messages: every engine and what it started ends now.
    for (auto& e : engines_) e->process.kill();
    record_.close();
    result_.interrupted = true;
    writePage(MatchState::Interrupted);
    say(fmt::format("match interrupted after {} throws", result_.throws));
    return result_;
  }
  sendBoth(totalScoreMessage(result_.total[0], result_.total[1]));
  sendBoth("GAMEOVER");
  const auto grace =
      std::chrono::duration_cast<std::chrono::milliseconds>(seconds(config_.exitGrace));
  for (auto& e : engines_) e->process.finish(grace);
  if (!record_.close()) result_.error = "cannot write " + config_.outDir + "/record.jsonl";

  result_.winner = result_.total[0] > result_.total[1]   ? SIDE_A
                   : result_.total[1] > result_.total[0] ? SIDE_B
                                                         : -1;
  result_.completed = true;
  writePage(MatchState::Finished);
  say(fmt::format("result: A {} - {} B, {}", result_.total[0], result_.total[1],
                  result_.winner < 0 ? std::string("draw") : sideLabel(result_.winner) + " wins"));
  if (!result_.faults.empty()) {
    say(fmt::format("engine faults: A {}, B {} (throws forfeited: A {}, B {})",
                    std::count_if(result_.faults.begin(), result_.faults.end(),
                                  [](const Fault& f) { return f.side == SIDE_A; }),
                    std::count_if(result_.faults.begin(), result_.faults.end(),
                                  [](const Fault& f) { return f.side == SIDE_B; }),
                    result_.forfeits[0], result_.forfeits[1]));
  }
  return result_;
}

void Match::throwPicture(const ThrowRecord& rec, int /*firstSide*/, const ThrowResult* result) {
  SheetPicture pic;
  pic.title = fmt::format("End {}, shot {}: engine {}", rec.end, rec.shot, sideLabel(rec.side));
  const Stone& rest = rec.after[rec.shot];
  std::string what;
  if (rec.status != ReplyStatus::Ok) {
    what = fmt::format("{}: turn lost", statusName(rec.status));
  } else if (rec.foul) {
    what = "free-guard-zone foul: stones restored";
  } else if (rest.inPlay) {
    what = fmt::format("stone {} rests at ({:.2f}, {:.2f})", rec.shot, rest.x, rest.y);
  } else {
    what = fmt::format("stone {} out of play", rec.shot);
  }
  pic.subtitle =
      fmt::format("{}  ·  match score A {} - {} B", what, result_.total[0], result_.total[1]);
  pic.names = config_.names;
  pic.stones = rec.after;
  pic.sideOfSlot = sideOfSlot_;
  pic.thrownSlot = rec.shot;
  if (result) pic.paths = &result->paths;
  writePicture(fmt::format("{}/end{:02}-shot{:02}.svg", config_.outDir, rec.end, rec.shot), pic,
               progress_);
}

void Match::endPicture(int end, int /*firstSide*/, const EndScore& score) {
  SheetPicture pic;
  pic.title = fmt::format("End {} final position", end);
  pic.subtitle =
      fmt::format("{}   total A {} - {} B",
                  score.side < 0 ? std::string("blank end")
                                 : fmt::format("{} scores {}", sideLabel(score.side), score.points),
                  result_.total[0], result_.total[1]);
  pic.stones = sheet_;
  pic.sideOfSlot = sideOfSlot_;
  pic.names = config_.names;
  writePicture(fmt::format("{}/end{:02}.svg", config_.outDir, end), pic, progress_);
}

int exitStatus(const MatchResult& result) {
  return result.completed && result.faults.empty() ? 0 : 1;
}

}  // namespace Kelp::Referee
