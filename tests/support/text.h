// Small text helpers for checking the program's lines field by field.
#pragma once

#include <cctype>
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

// A decimal integer with no sign, or with an optional minus when signed_.
inline bool isInteger(const std::string& s, bool signed_ = false) {
  const std::size_t start = signed_ && !s.empty() && s[0] == '-' ? 1 : 0;
  if (s.size() == start) return false;
  for (std::size_t i = start; i < s.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

// The stream's default form of a double (six significant digits).
inline bool isDefaultDouble(const std::string& s) {
  std::ostringstream again;
  try {
    again << std::stod(s);
  } catch (...) {
    return false;
  }
  return again.str() == s;
}

}  // namespace KelpTest
