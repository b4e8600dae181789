// kelp.Board and the argument helpers every part of the module shares.
#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>

#include "python/bindings.h"

namespace KelpPy {

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

py::array stonesArray(const Board& b, bool serverFrame) {
  if (!serverFrame) {
    Array out({SLOTS, 2});
    auto a = out.mutable_unchecked<2>();
    for (int k = 0; k < SLOTS; ++k) {
      a(k, 0) = b.xy[k][0];
      a(k, 1) = b.xy[k][1];
    }
    return out;
  }
  // Single precision, as POSITION carries them and throw_batch gives them.
  py::array_t<float> out({SLOTS, 2});
  auto a = out.mutable_unchecked<2>();
  for (int k = 0; k < SLOTS; ++k) {
    a(k, 0) = b.inPlay(k) ? serverX(b.xy[k][0]) : 0.0f;
    a(k, 1) = b.inPlay(k) ? serverY(b.xy[k][1]) : 0.0f;
  }
  return out;
}

Board boardFromPython(const py::object& stones, int shot, int end, const std::string& frame,
                      int ends, int scoreDiff) {
  double xy[SLOTS][2];
  if (stones.is_none()) {
    for (auto& s : xy) {
      s[0] = OUT_X;
      s[1] = OUT_Y;
    }
  } else {
    stonesFromPython(stones, isServerFrame(frame), xy);
  }
  return makeBoard(xy, shot, end, ends, scoreDiff);
}

}  // namespace

bool isServerFrame(const std::string& frame) {
  if (frame == "server") return true;
  if (frame == "board") return false;
  throw BadInput{"frame '" + frame + "' is neither 'server' nor 'board'"};
}

void stonesFromPython(const py::handle& stones, bool serverFrame, double (&xy)[SLOTS][2]) {
  Array a;
  try {
    a = py::cast<Array>(stones);
  } catch (const py::cast_error&) {
    throw py::type_error("stones must be a (16, 2) array of numbers");
  } catch (const py::error_already_set&) {
    throw py::type_error("stones must be a (16, 2) array of numbers");
  }
  if (!a) {
    PyErr_Clear();
    throw py::type_error("stones must be a (16, 2) array of numbers");
  }
  if (a.ndim() != 2 || a.shape(0) != SLOTS || a.shape(1) != 2) {
    std::string shape = "(";
    for (py::ssize_t d = 0; d < a.ndim(); ++d)
      shape += (d ? ", " : "") + std::to_string(a.shape(d));
    throw BadInput{"stones must have shape (16, 2), not " + shape + ")"};
  }
  auto v = a.unchecked<2>();
  for (int k = 0; k < SLOTS; ++k) {
    const double x = v(k, 0);
    const double y = v(k, 1);
    if (!std::isfinite(x) || !std::isfinite(y)) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "stone %d at (%g, %g): coordinates must be finite numbers", k,
                    x, y);
      throw BadInput{buf};
    }
    if (serverFrame) {
      // Far outside the float range is far off the sheet: keep it so.
      if (std::fabs(x) > 1e6 || std::fabs(y) > 1e6) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "stone %d at (%g, %g) lies far off the sheet", k, x, y);
        throw BadInput{buf};
      }
      serverToBoard(x, y, xy[k][0], xy[k][1]);
    } else {
      xy[k][0] = x;
      xy[k][1] = y;
    }
  }
}

Kelp::ShotVector shotFromPython(const py::handle& shot, bool serverFrame) {
  if (!py::isinstance<py::sequence>(shot) || py::isinstance<py::str>(shot)) {
    throw py::type_error("a shot is a sequence (vx, vy, spin)");
  }
  const py::sequence s = py::reinterpret_borrow<py::sequence>(shot);
  if (s.size() != 3) {
    throw BadInput{"a shot is (vx, vy, spin): 3 values, not " + std::to_string(s.size())};
  }
  double v[3];
  for (int i = 0; i < 3; ++i) {
    try {
      v[i] = py::cast<double>(s[i]);
    } catch (const py::cast_error&) {
      throw py::type_error("shot values must be numbers");
    }
  }
  if (v[2] != 0.0 && v[2] != 1.0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "spin %g is not 0 or 1", v[2]);
    throw BadInput{buf};
  }
  return checkShot(v[0], v[1], static_cast<long>(v[2]), serverFrame);
}

py::tuple shotToPython(const Kelp::ShotVector& s) {
  return py::make_tuple(s.vx, -s.vy, s.spin);
}

uint32_t seedFromPython(const py::handle& seed) {
  if (!py::isinstance<py::int_>(seed) || py::isinstance<py::bool_>(seed)) {
    throw py::type_error("a seed is an integer");
  }
  const py::int_ i = py::reinterpret_borrow<py::int_>(seed);
  if (i < py::int_(0) || i > py::int_(0xFFFFFFFFull)) {
    throw BadInput{"a seed is an integer 0 .. 2**32 - 1"};
  }
  return py::cast<uint32_t>(i);
}

void bindBoard(py::module_& m) {
  py::class_<Board>(m, "Board", R"doc(
The stones of one end, the shot number, the end and the match state.

Board(stones=None, shot=0, end=0, *, frame="server", ends=10, score_diff=0)

stones: a (16, 2) array-like, slot k the stone thrown as shot k of the end
(BLACK, the first thrower, the even slots). In the server's frame (as the
POSITION message: tee at (2.375, 4.88), stones travel toward smaller y, in
single precision) a stone at (0, 0) is not in play; in the board frame (tee at
the origin, stones travel toward +y) a stone outside the play area is not in
play. shot: stones already thrown, 0..16. ends: ends in the match;
score_diff: the first thrower's lead in the match so far (negative: behind);
kelp-strong's search plays for the match from it, the lead, the hammer and the
ends left.)doc")
      .def(py::init(&boardFromPython), py::arg("stones") = py::none(), py::arg("shot") = 0,
           py::arg("end") = 0, py::kw_only(), py::arg("frame") = "server",
           py::arg("ends") = DEFAULT_ENDS, py::arg("score_diff") = 0)
      .def_property_readonly(
          "stones", [](const Board& b) { return stonesArray(b, true); },
          "(16, 2) float32 stones in the server's frame; (0, 0) for a stone not in play")
      .def_property_readonly(
          "board_stones", [](const Board& b) { return stonesArray(b, false); },
          "(16, 2) stones in the board frame (full precision)")
      .def_property_readonly(
          "in_play",
          [](const Board& b) {
            py::array_t<bool> out(SLOTS);
            for (int k = 0; k < SLOTS; ++k) out.mutable_at(k) = b.inPlay(k);
            return out;
          },
          "(16,) bool: the slots in play")
      .def_readonly("shot", &Board::shot)
      .def_readonly("end", &Board::end)
      .def_readonly("ends", &Board::ends)
      .def_readonly("score_diff", &Board::score_diff)
      .def_property_readonly(
          "to_throw", [](const Board& b) { return b.shot % 2; },
          "colour of the next stone: 0 BLACK (first thrower), 1 WHITE")
      .def_property_readonly(
          "over", [](const Board& b) { return b.shot == SLOTS; }, "all sixteen stones are thrown")
      .def("score", &Board::score,
           "the end's score as the stones lie: positive when the first thrower (BLACK) scores")
      .def("__repr__", [](const Board& b) {
        int n = 0;
        for (int k = 0; k < SLOTS; ++k) n += b.inPlay(k);
        return "<kelp.Board end " + std::to_string(b.end) + " shot " + std::to_string(b.shot) +
               ", " + std::to_string(n) + " stones in play, score " + std::to_string(b.score()) +
               ">";
      });
}

}  // namespace KelpPy
