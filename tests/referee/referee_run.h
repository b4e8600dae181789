// The built kelp-referee run with the fake engine, for the end-to-end tests.
#pragma once

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "referee/process.h"
#include "support/process.h"
#include "support/tempdir.h"

namespace KelpTest {

inline const std::string REFEREE = KELP_BINARY_DIR "/kelp-referee";
inline const std::string FAKE = "python3 " KELP_SOURCE_DIR "/tests/referee/fake_engine.py";
inline constexpr milliseconds LONG{600'000};  // only a hung run reaches it

// Arguments written as a shell would take them.
inline std::vector<std::string> words(const std::string& args) {
  return Kelp::Referee::splitCommand(args).value_or(std::vector<std::string>{});
}

inline Outcome referee(const std::string& args) {
  return runToEnd(REFEREE, words(args));
}

// Each line of a file as JSON (a record's throws, a fake engine's reads).
inline std::vector<nlohmann::json> jsonLines(const std::string& file) {
  std::istringstream in(readFile(file));
  std::vector<nlohmann::json> out;
  for (std::string line; std::getline(in, line);) out.push_back(nlohmann::json::parse(line));
  return out;
}

// A fresh output folder (and no pid list) under the build tree.
inline std::string outDir(const std::string& name) {
  const std::string dir = KELP_BINARY_DIR "/test-output/" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::remove(dir + "-pids");
  std::filesystem::create_directories(std::filesystem::path(dir).parent_path());
  return dir;
}

}  // namespace KelpTest
