#include "driver/command.h"

#include <cstring>
#include <iostream>

#include "driver/io.h"

namespace Kelp {

std::vector<std::string> SplitCommand(std::string_view message) {
  std::vector<std::string> tokens;
  tokens.reserve(message.size() + 1);
  if (!message.empty()) {
    std::size_t p = 0;
    for (;;) {
      const std::size_t space = message.find(' ', p);
      if (space == std::string_view::npos) {
        tokens.emplace_back(message.substr(p));
        break;
      }
      tokens.emplace_back(message.substr(p, space - p));
      p = space + 1;
    }
  }
  tokens.emplace_back("\n");
  return tokens;
}

bool forEachMessage(std::string_view bytes, const std::function<bool(std::string_view)>& f) {
  std::size_t start = 0;
  bool first = true;
  while (start < bytes.size() || first) {
    std::size_t zero = bytes.find('\0', start);
    if (zero == std::string_view::npos) zero = bytes.size();
    const std::string_view message = bytes.substr(start, zero - start);
    if ((first || !message.empty()) && !f(message)) return false;
    first = false;
    start = zero + 1;
  }
  return true;
}

bool dispatchMessage(std::string_view message, const CommandTable& table, ClientField& field) {
  const std::vector<std::string> tokens = SplitCommand(message);
  const auto found = table.find(tokens.front());
  if (found != table.end()) {
    const CommandHandler handler = found->second;
    return handler(tokens, field);
  }
  std::cout << "illegal command ";
  for (const std::string& token : tokens) std::cout << token << " ";
  std::cout << std::endl;
  std::cout << message << std::endl;
  return true;
}

int runCommandLoop(const CommandTable& table, ClientField& field, int fd) {
  char buffer[MESSAGE_BUFFER_SIZE];
  for (;;) {
    std::memset(buffer, 0, sizeof buffer);
    const long n = readInput(fd, buffer, sizeof buffer);
    // End of input or a failed read: the server has gone, and reading again
    // would only return the same at once.
    if (n <= 0) return 0;
    const bool go_on = forEachMessage(
        std::string_view(buffer, static_cast<std::size_t>(n)),
        [&](std::string_view message) { return dispatchMessage(message, table, field); });
    // A failed flush of the diagnostics means standard output is closed:
    // nobody is listening any more.
    if (!go_on || std::cout.bad()) return 0;
  }
}

}  // namespace Kelp
