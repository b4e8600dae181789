#include "driver/record_commands.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "kelpsimulator/primitive.h"

namespace Kelp {

std::string printable(const std::string& token) {
  std::string out;
  for (const unsigned char c : token) {
    if (c < 0x20 || c == 0x7f || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

namespace {

// "error <what>,<command>,<value>": one line, flushed.
void reportRejected(const char* what, const std::string& command, const std::string& value) {
  std::cout << "error " << what << "," << command << "," << printable(value) << std::endl;
}

}  // namespace

std::optional<int32_t> toInt(const std::string& token) {
  const char* begin = token.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return {};
  return static_cast<int32_t>(value);
}

std::optional<float> toFloat(const std::string& token) {
  const char* begin = token.c_str();
  char* end = nullptr;
  errno = 0;
  const float value = std::strtof(begin, &end);
  if (end == begin || errno == ERANGE) return {};
  return value;
}

bool newGameCommand(const std::vector<std::string>&, ClientField& field) {
  field.clearCounters();
  return true;
}

bool positionCommand(const std::vector<std::string>& tokens, ClientField& field) {
  if (tokens.size() != 34) {
    std::cout << "error argument size" << std::endl;
    return true;
  }
  float xy[32];
  for (int i = 0; i < 32; ++i) {
    const std::optional<float> v = toFloat(tokens[1 + i]);
    if (!v) {
      reportRejected("number", tokens[0], tokens[1 + i]);
      return true;
    }
    xy[i] = *v;
  }
  for (int k = 0; k < 16; ++k) field.setPosition(k, xy[2 * k], xy[2 * k + 1]);
  return true;
}

bool setStateCommand(const std::vector<std::string>& tokens, ClientField& field) {
  if (tokens.size() != 6) {
    std::cout << "error argment size" << std::endl;
    return true;
  }
  int32_t v[4];
  for (int i = 0; i < 4; ++i) {
    const std::optional<int32_t> n = toInt(tokens[1 + i]);
    if (!n) {
      reportRejected("number", tokens[0], tokens[1 + i]);
      return true;
    }
    v[i] = *n;
  }
  // The record would stop the program on any other colour.
  if (!examColor(v[3])) {
    reportRejected("color", tokens[0], tokens[4]);
    return true;
  }
  field.setState(v[0], v[1], v[2], v[3]);
  return true;
}

bool scoreCommand(const std::vector<std::string>& tokens, ClientField& field) {
  if (tokens.size() != 3) {
    std::cout << "error argment size" << std::endl;
    return true;
  }
  const std::optional<int32_t> s = toInt(tokens[1]);
  if (!s) {
    reportRejected("number", tokens[0], tokens[1]);
    return true;
  }
  // The record would stop the program for an end it has no slot for.
  if (field.end < 0 || field.end >= 16) {
    reportRejected("end", tokens[0], std::to_string(field.end));
    return true;
  }
  // A score whose magnitude or running totals leave int32 would wrap and
  // break rel_score == score[0] - score[1]; no real end comes near it.
  const int64_t a = *s < 0 ? -int64_t{*s} : int64_t{*s};
  const int64_t total = int64_t{field.score[*s < 0 ? 1 : 0]} + a;
  const int64_t rel = int64_t{field.rel_score} + *s;
  if (a > INT32_MAX || total > INT32_MAX || rel < INT32_MIN || rel > INT32_MAX) {
    reportRejected("score", tokens[0], tokens[1]);
    return true;
  }
  field.addScore(*s);
  return true;
}

bool totalScoreCommand(const std::vector<std::string>& tokens, ClientField&) {
  if (tokens.size() != 4) std::cout << "error argment size" << std::endl;
  return true;
}

bool showAllCommand(const std::vector<std::string>&, ClientField&) {
  return true;
}

}  // namespace Kelp
