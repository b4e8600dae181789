// The pieces of the Python module, each registering its part: boards,
// throws, candidate shots and engines, game records. Shared helpers turn
// Python arguments into checked C++ values; they raise TypeError or
// ValueError (BadInput) and never let a bad value reach the library.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "kelpsimulator/shot.h"
#include "python/board.h"

namespace KelpPy {

namespace py = pybind11;

void bindBoard(py::module_& m);
void bindThrows(py::module_& m);
void bindEngine(py::module_& m);
void bindRecord(py::module_& m);

// A shot (vx, vy, spin) from any sequence of three numbers, in the given
// frame, turned into the board frame and checked.
Kelp::ShotVector shotFromPython(const py::handle& shot, bool serverFrame = true);
// A shot in the server's frame as a Python tuple (vx, vy, spin).
py::tuple shotToPython(const Kelp::ShotVector& boardFrame);
// "server" or "board"; anything else is a ValueError.
bool isServerFrame(const std::string& frame);
// A (16, 2) array of stones in the given frame, checked and converted to
// the board frame (server positions in single precision, as POSITION).
void stonesFromPython(const py::handle& stones, bool serverFrame, double (&xy)[SLOTS][2]);
// A seed: an integer 0 .. 2^32 - 1.
uint32_t seedFromPython(const py::handle& seed);

}  // namespace KelpPy
