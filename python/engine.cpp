// kelp.candidates and kelp.Engine: the candidate shots of a position, and
// the players of kelp-strong thinking on a board exactly as the program
// does on the same position (the board goes through the record the protocol
// driver would hold, and the same checked road to the think board).
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "driver/engine_options.h"
#include "driver/game_commands.h"
#include "python/bindings.h"

namespace KelpPy {

namespace {

constexpr int MAX_THINK_MS = 600000;
constexpr int DEFAULT_THINK_MS = 4600;
constexpr uint64_t MAX_BUDGET = 1'000'000'000;  // as kelp-strong's --samples and --iterations

std::vector<Tree> candidateNodes(const Kelp::ThinkBoard& think) {
  std::vector<Tree> nodes;
  CurlingGameState(think).getCandidates(nodes);
  return nodes;
}

py::dict candidatesOf(const Board& board) {
  if (board.shot >= SLOTS) throw BadInput{"the end is over: no shot to choose"};
  const std::vector<Tree> nodes = candidateNodes(board.think);
  const auto n = static_cast<py::ssize_t>(nodes.size());
  py::list labels;
  py::array_t<double> target({n, py::ssize_t{2}});
  py::array_t<double> shot({n, py::ssize_t{3}});
  auto t = target.mutable_unchecked<2>();
  auto s = shot.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < n; ++i) {
    const CurlingMoveState& m = nodes[static_cast<size_t>(i)].move.move_state;
    labels.append(m.label);
    t(i, 0) = serverX(m.x);
    t(i, 1) = serverY(m.y);
    s(i, 0) = m.vx;
    s(i, 1) = -m.vy;
    s(i, 2) = m.spin;
  }
  py::dict d;
  d["label"] = py::module_::import("numpy").attr("array")(labels, "U");
  d["target"] = target;
  d["shot"] = shot;
  return d;
}

// What Engine.think answers: the shot as the program sends it and the
// search's statistics.
struct Decision {
  double vx = 0.0;  // server frame
  double vy = 0.0;
  int spin = 0;
  std::string label;
  double target_x = 0.0;  // server frame
  double target_y = 0.0;
  int count = 0;          // samples or playouts of the whole search
  int candidates = 0;     // candidate shots at the root
  uint32_t visits = 0;    // samples of the chosen shot
  double mean = 0.0;      // its mean end score for the side to throw
  bool fallback = false;  // the record could not be thought on: the draw to the tee
  std::string bestshot;   // the protocol reply
};

class Engine {
 public:
  // The options of kelp-strong: search, --think-ms, --threads, --samples,
  // --iterations, --seed (None where the option is not given).
  Engine(const std::string& search, int thinkMs, int threads, const py::object& samples,
         const py::object& iterations, const py::object& seed, const std::string& value)
      : search_(search) {
    if (thinkMs < 0 || thinkMs > MAX_THINK_MS) throw BadInput{"think_ms must be in 0..600000"};
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (threads < 0 || threads > 256) throw BadInput{"threads must be 0 (all cores) .. 256"};
    threads_ = threads == 0 ? cores : threads;
    thinkMs_ = thinkMs;
    const uint64_t budget[2] = {budgetOf(samples, "samples"), budgetOf(iterations, "iterations")};
    if (budget[0] != 0 && search != "strong") {
      throw BadInput{"samples is the strong search's budget (search='strong')"};
    }
    if (budget[1] != 0 && search != "faithful") {
      throw BadInput{"iterations is the faithful search's budget (search='faithful')"};
    }
    if (search != "strong" && search != "faithful" && search != "greedy") {
      throw BadInput{"search '" + search + "' is none of 'strong', 'faithful', 'greedy'"};
    }
    if (value != "match" && value != "points") {
      throw BadInput{"value '" + value + "' is neither 'match' nor 'points'"};
    }
    if (value != "match" && search != "strong") {
      throw BadInput{"value is the strong search's (search='strong')"};
    }
    // The program's own options, and the program's own way from them to a
    // player: the same seed and budget give the same shot.
    Kelp::EngineOptions options;
    options.search = search;
    options.thinkMs = thinkMs;
    options.threads = threads_;
    options.samples = budget[0];
    options.iterations = static_cast<uint32_t>(budget[1]);
    if (!seed.is_none()) options.seed = seedFromPython(seed);
    options.value = value;
    player_ = Kelp::makeEnginePlayer(options);
    samples_ = budget[0];
    iterations_ = budget[1];
  }

  static uint64_t budgetOf(const py::object& v, const char* name) {
    if (v.is_none()) return 0;
    if (!py::isinstance<py::int_>(v) || py::isinstance<py::bool_>(v)) {
      throw py::type_error(std::string(name) + " must be an integer");
    }
    const py::int_ i = py::reinterpret_borrow<py::int_>(v);
    if (i < py::int_(1) || i > py::int_(MAX_BUDGET)) {
      throw BadInput{std::string(name) + " must be in 1..1000000000"};
    }
    return py::cast<uint64_t>(i);
  }

  Decision think(const Board& board) {
    if (board.shot >= SLOTS) throw BadInput{"the end is over: no shot to choose"};
    const Kelp::ClientField field = board.record();
    std::string problem;
    const std::optional<Kelp::ThinkBoard> think = Kelp::ThinkBoard::fromRecord(field, &problem);
    Decision d;
    if (!think || candidateNodes(*think).empty()) {
      // As the program answers a record it cannot think on.
      const CurlingMoveState tee(0.0f, 0.0f, "TEE2", false, SHOT_DRAW);
      d.vx = tee.vx;
      d.vy = -tee.vy;
      d.spin = tee.spin;
      d.label = tee.label;
      d.target_x = serverX(tee.x);
      d.target_y = serverY(tee.y);
      d.fallback = true;
    } else {
      ThinkResult result;
      {
        py::gil_scoped_release release;
        // One decision at a time per engine: the players keep the position.
        const std::lock_guard<std::mutex> lock(mutex_);
        Kelp::prepareDecision(*player_, field);
        result = player_->Think(CurlingGameState(*think));
      }
      const Move& move = std::get<0>(result);
      d.vx = move.move_state.vx;
      d.vy = move.move_state.vy;  // already in the record frame
      d.spin = move.move_state.spin;
      d.label = move.move_state.label;
      d.target_x = serverX(move.move_state.x);
      d.target_y = serverY(move.move_state.y);
      d.count = std::get<1>(result);
      d.candidates = std::get<2>(result);
      d.visits = move.uct_state.visits;
      d.mean = move.uct_state.mean;
    }
    d.bestshot = Kelp::formatBestShot(d.vx, d.vy, d.spin);
    return d;
  }

  std::string search_;
  int thinkMs_ = DEFAULT_THINK_MS;
  int threads_ = 1;
  uint64_t samples_ = 0;
  uint64_t iterations_ = 0;

 private:
  std::shared_ptr<BaseAI<ThinkResult>> player_;
  std::mutex mutex_;
};

}  // namespace

void bindEngine(py::module_& m) {
  m.def("candidates", &candidatesOf, py::arg("board"), R"doc(
The candidate shots of a position, as the engines list them: a dict of
arrays, label (pattern names), target (n, 2, server frame) and shot (n, 3: vx, vy,
spin in the server's frame).)doc");

  py::class_<Decision>(m, "Decision", "An engine's answer: the shot and the search's statistics")
      .def_property_readonly(
          "shot", [](const Decision& d) { return py::make_tuple(d.vx, d.vy, d.spin); },
          "(vx, vy, spin) in the server's frame, as BESTSHOT sends it")
      .def_readonly("label", &Decision::label)
      .def_property_readonly(
          "target", [](const Decision& d) { return py::make_tuple(d.target_x, d.target_y); })
      .def_readonly("count", &Decision::count)
      .def_readonly("candidates", &Decision::candidates)
      .def_readonly("visits", &Decision::visits)
      .def_readonly("mean", &Decision::mean)
      .def_readonly("fallback", &Decision::fallback)
      .def_readonly("bestshot", &Decision::bestshot)
      .def("__repr__",
           [](const Decision& d) { return "<kelp.Decision " + d.label + " " + d.bestshot + ">"; });

  py::class_<Engine>(m, "Engine", R"doc(
One of kelp-strong's searches, with its options:
Engine(search="strong"|"faithful"|"greedy", think_ms=4600, threads=0,
samples=None, iterations=None, seed=None, value="match"). threads=0: every core, as
kelp-strong. samples: the strong search's budget per decision (instead of
think_ms); iterations: the faithful search's, per worker (it always runs four
workers); seed: every decision seeded from it and the position, so that a
budgeted decision is the one kelp-strong --seed makes; value: what a sample of
the strong search is worth, the chance to win the match after its end
("match", from the board's score_diff and ends) or the end's points
("points").)doc")
      .def(py::init<const std::string&, int, int, const py::object&, const py::object&,
                    const py::object&, const std::string&>(),
           py::arg("search") = "strong", py::kw_only(), py::arg("think_ms") = DEFAULT_THINK_MS,
           py::arg("threads") = 0, py::arg("samples") = py::none(),
           py::arg("iterations") = py::none(), py::arg("seed") = py::none(),
           py::arg("value") = "match")
      .def("think", &Engine::think, py::arg("board"),
           "the engine's shot for the board, as kelp-strong answers GO on it")
      .def("__call__", &Engine::think, py::arg("board"))
      .def_readonly("search", &Engine::search_)
      .def_readonly("think_ms", &Engine::thinkMs_)
      .def_readonly("threads", &Engine::threads_)
      .def_property_readonly("samples",
                             [](const Engine& e) {
                               return e.samples_ ? py::object(py::int_(e.samples_))
                                                 : py::object(py::none());
                             })
      .def_property_readonly("iterations", [](const Engine& e) {
        return e.iterations_ ? py::object(py::int_(e.iterations_)) : py::object(py::none());
      });
}

}  // namespace KelpPy
