// The compiled part of the kelp package (kelp/_kelp): the simulator, boards,
// candidate shots, engines and game records. kelp/__init__.py re-exports it
// beside the Python environment.
#include <pybind11/pybind11.h>

#include "kelpsimulator/trajectory.h"
#include "python/bindings.h"

PYBIND11_MODULE(_kelp, m) {
  m.doc() = "Kelp's curling simulator, candidate shots, engines and game records";
  pybind11::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const KelpPy::BadInput& e) {
      PyErr_SetString(PyExc_ValueError, e.what.c_str());
    }
  });
  // Every throw and every candidate shot reads the trajectory tables.
  Kelp::buildTables();
  KelpPy::bindBoard(m);
  KelpPy::bindThrows(m);
  KelpPy::bindEngine(m);
  KelpPy::bindRecord(m);
}
