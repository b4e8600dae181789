// Small text helpers for checking the program's lines field by field.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace KelpTest {

// The pieces between separators; a trailing separator adds no empty piece.
inline std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, sep);) out.push_back(item);
  return out;
}

// A record as the server sends it: SETSTATE with the words given, then
// POSITION (the stones given in the record frame, the rest 0), each ending
// with a zero byte.
inline std::string record(const std::string& setState, std::vector<std::string> xy = {}) {
  xy.resize(32, "0");
  std::string r = "SETSTATE " + setState + '\0' + "POSITION";
  for (const std::string& v : xy) r += " " + v;
  return r + '\0';
}

// The stream's default form of a double (six significant digits).
inline bool isDefaultDouble(const std::string& s) {
  std::ostringstream again;
  again << std::strtod(s.c_str(), nullptr);
  return again.str() == s;
}

}  // namespace KelpTest
