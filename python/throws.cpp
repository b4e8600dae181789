// kelp.throw and kelp.throw_batch: one throw, or many on all cores, through
// the fast path (with its exact fallback) or the exact model, with the
// engine's execution error, a given scatter or none.
//
// Random streams: a throw with seed S and index i uses the draws 2i and
// 2i + 1 of the dSFMT engine seeded with S (each error takes two). The batch
// with seed S gives throw i index i, so throw by throw it equals the single
// form, whatever thread runs it; a worker seeds its own engine once and
// skips to its first throw.
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "kelpsimulator/exact.h"
#include "python/bindings.h"

namespace KelpPy {

namespace {

enum class ErrorMode { None, Engine, Sigma };

struct ThrowHow {
  ErrorMode error = ErrorMode::Engine;
  double sigma = Kelp::NOISE_SD;
  bool exact = false;
  double step = Kelp::SIM_STEP;
};

struct ThrowInfo {
  int outcome = 0;  // ShotOutcome
  bool contact = false;
  bool foul = false;
  int removed = 0;         // stones in play before, plus the thrown one, minus those after
  bool restKnown = false;  // the thrown stone's rest is known and in play
  double restX = 0.0;      // board frame
  double restY = 0.0;
  Kelp::ShotVector thrown;  // board frame, error added
  Kelp::Velocity error{0.0, 0.0};
};

constexpr double MIN_STEP = 1e-4;         // s: finer runs take minutes per throw
constexpr double MAX_STEP = 0.05;         // s: coarser ones let stones pass through each other
constexpr double MAX_SIGMA = 2.0;         // m of scatter per axis
constexpr uint32_t THROWN_TAG = 1u << 8;  // marks the thrown stone in the exact model

int inPlayCount(const Kelp::ThinkBoard& b) {
  return b.count[Kelp::BLACK] + b.count[Kelp::WHITE];
}

bool anyProtected(const Kelp::ThinkBoard& b) {
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < b.count[c]; ++i) {
      if (b.state[c][i] & Kelp::STONE_PROTECTED) return true;
    }
  }
  return false;
}

void throwFast(const Kelp::ThinkBoard& before, const Kelp::ShotVector& shot,
               const Kelp::Velocity& error, Kelp::ThinkBoard& after, ThrowInfo& info) {
  after = before;
  info.outcome = Kelp::throwWithError(after, shot, error);
  const int col = before.turn % 2;
  if (info.outcome == Kelp::SHOT_ADDED) {
    const Kelp::Stone& s = after.stones[col][after.last_index];
    info.restKnown = true;
    info.restX = s.x;
    info.restY = s.y;
  } else if (info.outcome == Kelp::SHOT_REBUILT) {
    info.contact = true;
  } else if (anyProtected(before)) {
    // Nothing changed: the stone slid out of play untouched, or it struck a
    // protected guard out of play (a foul). The physics does not read the
    // protection, so the same throw without it tells the two apart.
    Kelp::ThinkBoard free = before;
    for (auto& col_state : free.state) {
      for (uint32_t& st : col_state) st &= ~Kelp::STONE_PROTECTED;
    }
    info.contact = info.foul = Kelp::throwWithError(free, shot, error) == Kelp::SHOT_REBUILT;
  }
}

void throwExactModel(const Kelp::ThinkBoard& before, const Kelp::ShotVector& shot, double dt,
                     Kelp::ThinkBoard& after, ThrowInfo& info) {
  after = before;
  Kelp::ExactSimulator sim;
  Kelp::loadThrow(sim, before, shot, THROWN_TAG);
  const bool ok = Kelp::settleExact(sim, after, dt);
  if (!ok) {
    info.contact = info.foul = true;
  } else {
    // A stone at rest is loaded in single precision and untouched it stays
    // bit for bit where it was: any other stone was struck.
    int untouched = 0;
    for (int i = 0; i < sim.size(); ++i) {
      const b2Vec2 p = sim.position(i);
      if (sim.tagOf(i) & THROWN_TAG) {
        if (Kelp::isInPlayArea(static_cast<double>(p.x), static_cast<double>(p.y))) {
          info.restKnown = true;
          info.restX = p.x;
          info.restY = p.y;
        }
        continue;
      }
      for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < before.count[c]; ++k) {
          if (static_cast<float>(before.stones[c][k].x) == p.x &&
              static_cast<float>(before.stones[c][k].y) == p.y) {
            ++untouched;
            c = 2;
            break;
          }
        }
      }
    }
    info.contact = untouched != inPlayCount(before);
  }
  info.outcome = ok ? Kelp::SHOT_REBUILT : Kelp::SHOT_UNCHANGED;
  after.afterShot(info.outcome);
}

Kelp::Velocity drawError(const ThrowHow& how, Kelp::DsfmtEngine& engine) {
  switch (how.error) {
    case ErrorMode::None:
      return {0.0, 0.0};
    case ErrorMode::Sigma:
      return Kelp::executionError(engine, how.sigma);
    case ErrorMode::Engine:
    default:
      return Kelp::executionError(engine);
  }
}

// One throw on before (its end not over) with the error already drawn.
void throwOne(const Kelp::ThinkBoard& before, const Kelp::ShotVector& shot,
              const Kelp::Velocity& error, const ThrowHow& how, Kelp::ThinkBoard& after,
              ThrowInfo& info) {
  info.thrown = {shot.vx + error.vx, shot.vy + error.vy, shot.spin};
  info.error = error;
  if (how.exact) {
    throwExactModel(before, info.thrown, how.step, after, info);
  } else {
    throwFast(before, shot, error, after, info);
  }
  info.removed = inPlayCount(before) + 1 - inPlayCount(after);
}

void skipThrows(Kelp::DsfmtEngine& engine, const ThrowHow& how, uint64_t n) {
  if (how.error == ErrorMode::None) return;
  for (uint64_t i = 0; i < 2 * n; ++i) engine.openOpen();
}

ThrowHow howFromPython(const py::object& error, const py::object& sigma, const std::string& model,
                       const py::object& step) {
  ThrowHow how;
  if (!py::isinstance<py::bool_>(error)) throw py::type_error("error must be True or False");
  if (!error.cast<bool>()) {
    how.error = ErrorMode::None;
    if (!sigma.is_none()) throw BadInput{"sigma is given but error=False"};
  } else if (!sigma.is_none()) {
    how.error = ErrorMode::Sigma;
    how.sigma = py::cast<double>(sigma);
    if (!(how.sigma >= 0.0 && how.sigma <= MAX_SIGMA)) {
      throw BadInput{"sigma must be a number of metres in 0..2"};
    }
  }
  if (model == "exact") {
    how.exact = true;
    if (!step.is_none()) {
      how.step = py::cast<double>(step);
      if (!(how.step >= MIN_STEP && how.step <= MAX_STEP)) {
        throw BadInput{"step must be a time step in 0.0001..0.05 s"};
      }
    }
  } else if (model != "fast") {
    throw BadInput{"model '" + model + "' is neither 'fast' nor 'exact'"};
  } else if (!step.is_none()) {
    throw BadInput{"step is for model='exact'"};
  }
  return how;
}

void checkNotOver(const Board& b) {
  if (b.shot >= SLOTS) throw BadInput{"the end is over: all sixteen stones are thrown"};
}

uint32_t seedOrRandom(const py::object& seed) {
  if (!seed.is_none()) return seedFromPython(seed);
  return std::random_device{}();
}

py::object restToPython(const ThrowInfo& info) {
  if (!info.restKnown) return py::none();
  return py::make_tuple(static_cast<double>(serverX(info.restX)),
                        static_cast<double>(serverY(info.restY)));
}

py::tuple throwSingle(const Board& board, const py::object& shot, const py::object& seed,
                      uint64_t index, const py::object& error, const py::object& sigma,
                      const std::string& model, const py::object& step, const std::string& frame) {
  const Kelp::ShotVector s = shotFromPython(shot, isServerFrame(frame));
  const ThrowHow how = howFromPython(error, sigma, model, step);
  checkNotOver(board);
  Kelp::DsfmtEngine engine(seedOrRandom(seed));
  skipThrows(engine, how, index);
  const Kelp::Velocity e = drawError(how, engine);
  Board out;
  ThrowInfo info;
  Kelp::ThinkBoard after;
  {
    py::gil_scoped_release release;
    throwOne(board.think, s, e, how, after, info);
  }
  boardAfter(board, after, out);
  py::dict d;
  d["outcome"] = info.outcome;
  d["contact"] = info.contact;
  d["foul"] = info.foul;
  d["removed"] = info.removed;
  d["rest"] = restToPython(info);
  d["thrown"] = shotToPython(info.thrown);
  d["error"] = py::make_tuple(info.error.vx, -info.error.vy);
  d["score"] = out.score();
  return py::make_tuple(out, d);
}

// The batch's outputs, written by the workers without the interpreter.
struct BatchOut {
  float* stones;  // n x 16 x 2, server frame (single precision, as POSITION)
  int8_t* score;
  int8_t* outcome;
  bool* contact;
  bool* foul;
  int8_t* removed;
  float* rest;     // n x 2, server frame, NaN when not known
  double* thrown;  // n x 3, server frame
};

void writeResult(const Kelp::ThinkBoard& after, const ThrowInfo& info, size_t i,
                 const BatchOut& o) {
  float* st = o.stones + i * SLOTS * 2;
  for (int col = Kelp::BLACK; col <= Kelp::WHITE; ++col) {
    int k = 0;
    for (; k < after.count[col]; ++k) {
      st[2 * (2 * k + col)] = serverX(after.stones[col][k].x);
      st[2 * (2 * k + col) + 1] = serverY(after.stones[col][k].y);
    }
    for (; k < SLOTS / 2; ++k) st[2 * (2 * k + col)] = st[2 * (2 * k + col) + 1] = 0.0f;
  }
  o.score[i] = static_cast<int8_t>(after.countScore());
  o.outcome[i] = static_cast<int8_t>(info.outcome);
  o.contact[i] = info.contact;
  o.foul[i] = info.foul;
  o.removed[i] = static_cast<int8_t>(info.removed);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  o.rest[2 * i] = info.restKnown ? serverX(info.restX) : nan;
  o.rest[2 * i + 1] = info.restKnown ? serverY(info.restY) : nan;
  o.thrown[3 * i] = info.thrown.vx;
  o.thrown[3 * i + 1] = -info.thrown.vy;
  o.thrown[3 * i + 2] = info.thrown.spin;
}

py::dict throwBatch(const py::object& boards, const py::object& shots, const py::object& seed,
                    const py::object& error, const py::object& sigma, const std::string& model,
                    const py::object& step, int threads, const std::string& frame) {
  const bool server = isServerFrame(frame);
  const ThrowHow how = howFromPython(error, sigma, model, step);
  using In = py::array_t<double, py::array::c_style | py::array::forcecast>;
  In sh;
  try {
    sh = py::cast<In>(shots);
  } catch (const py::cast_error&) {
    throw py::type_error("shots must be an (n, 3) array of numbers");
  } catch (const py::error_already_set&) {
    throw py::type_error("shots must be an (n, 3) array of numbers");
  }
  if (sh.ndim() != 2 || sh.shape(1) != 3) throw BadInput{"shots must have shape (n, 3)"};
  const size_t n = static_cast<size_t>(sh.shape(0));
  std::vector<Kelp::ShotVector> vs(n);
  {
    auto a = sh.unchecked<2>();
    for (size_t i = 0; i < n; ++i) {
      const double spin = a(i, 2);
      if (spin != 0.0 && spin != 1.0) {
        throw BadInput{"shot " + std::to_string(i) + ": spin is not 0 or 1"};
      }
      try {
        vs[i] = checkShot(a(i, 0), a(i, 1), static_cast<long>(spin), server);
      } catch (const BadInput& e) {
        throw BadInput{"shot " + std::to_string(i) + ": " + e.what};
      }
    }
  }
  // One board for every shot, or one per shot.
  std::vector<const Board*> bs;
  if (py::isinstance<Board>(boards)) {
    bs.assign(n, &boards.cast<const Board&>());
  } else if (py::isinstance<py::sequence>(boards)) {
    const py::sequence seq = py::reinterpret_borrow<py::sequence>(boards);
    if (seq.size() != n) {
      throw BadInput{"boards: " + std::to_string(seq.size()) + " boards for " + std::to_string(n) +
                     " shots"};
    }
    bs.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      if (!py::isinstance<Board>(seq[i])) throw py::type_error("boards must be kelp.Board objects");
      bs.push_back(&seq[i].cast<const Board&>());
    }
  } else {
    throw py::type_error("boards must be a kelp.Board or a sequence of them");
  }
  for (const Board* b : bs) checkNotOver(*b);
  if (threads < 0 || threads > 256) throw BadInput{"threads must be 0 (all cores) .. 256"};
  const uint32_t base = seedOrRandom(seed);

  py::array_t<float> stones({static_cast<py::ssize_t>(n), py::ssize_t{SLOTS}, py::ssize_t{2}});
  py::array_t<int8_t> score(n), outcome(n), removed(n);
  py::array_t<bool> contact(n), foul(n);
  py::array_t<float> rest({static_cast<py::ssize_t>(n), py::ssize_t{2}});
  py::array_t<double> thrown({static_cast<py::ssize_t>(n), py::ssize_t{3}});
  const BatchOut out{stones.mutable_data(),  score.mutable_data(), outcome.mutable_data(),
                     contact.mutable_data(), foul.mutable_data(),  removed.mutable_data(),
                     rest.mutable_data(),    thrown.mutable_data()};
  {
    py::gil_scoped_release release;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t t =
        std::max<size_t>(1, std::min(n, threads == 0 ? cores : static_cast<size_t>(threads)));
    auto work = [&](size_t from, size_t to) {
      Kelp::DsfmtEngine engine(base);
      skipThrows(engine, how, from);
      Kelp::ThinkBoard after;
      for (size_t i = from; i < to; ++i) {
        ThrowInfo info;
        const Kelp::Velocity e = drawError(how, engine);
        throwOne(bs[i]->think, vs[i], e, how, after, info);
        writeResult(after, info, i, out);
      }
    };
    std::vector<std::jthread> running;
    const size_t chunk = (n + t - 1) / std::max<size_t>(t, 1);
    for (size_t k = 1; k < t; ++k) {
      running.emplace_back(work, std::min(n, k * chunk), std::min(n, (k + 1) * chunk));
    }
    work(0, std::min(n, chunk));
  }
  py::dict d;
  d["stones"] = stones;
  d["score"] = score;
  d["outcome"] = outcome;
  d["contact"] = contact;
  d["foul"] = foul;
  d["removed"] = removed;
  d["rest"] = rest;
  d["thrown"] = thrown;
  return d;
}

}  // namespace

void bindThrows(py::module_& m) {
  m.def("throw", &throwSingle, py::arg("board"), py::arg("shot"), py::kw_only(),
        py::arg("seed") = py::none(), py::arg("index") = 0, py::arg("error") = true,
        py::arg("sigma") = py::none(), py::arg("model") = "fast", py::arg("step") = py::none(),
        py::arg("frame") = "server", R"doc(
Throws one stone: returns (new_board, info).

shot: (vx, vy, spin) in the server's frame, as BESTSHOT gives it (frame="board":
vy toward the house positive). error=True adds the engine's execution error
(Gaussian scatter of the aim, 0.145 m per axis), sigma= another scatter in
metres, error=False none. seed: the random stream (default: a fresh one);
index: which throw of that stream (throw_batch's throw i uses index i).
model="fast": the event-driven simulator with its exact fallback;
model="exact": the exact model from the release point, step= its time step
(default 0.01 s).

info: outcome (0 nothing changed: out of play or foul; 1 the stone rests
without contact; 2 contact, stones rebuilt), contact, foul (a protected guard
was knocked out: stones restored), removed (stones in play before, plus the
thrown one, minus those after), rest (the thrown stone's rest in the server's
frame; None out of play, and after a contact on the fast path, which does
not track it), thrown (the shot with its error, server frame), error, score.)doc");
  m.def("throw_batch", &throwBatch, py::arg("boards"), py::arg("shots"), py::kw_only(),
        py::arg("seed") = py::none(), py::arg("error") = true, py::arg("sigma") = py::none(),
        py::arg("model") = "fast", py::arg("step") = py::none(), py::arg("threads") = 0,
        py::arg("frame") = "server", R"doc(
Throws many stones on all cores, without the interpreter lock.

boards: one kelp.Board for every shot, or a sequence of one per shot;
shots: an (n, 3) array (vx, vy, spin). Throw i equals
throw(boards[i], shots[i], seed=seed, index=i, ...) exactly. threads: 0 for
every core. Returns a dict of arrays: stones (n, 16, 2) float32 (server frame, the
colours' stones in the simulator's order), score, outcome, contact, foul,
removed, rest (n, 2; NaN where throw gives None), thrown (n, 3).)doc");
}

}  // namespace KelpPy
