// The command loop: messages read from standard input are cut into words,
// the first word is looked up in a command table, and the handler found there
// runs on the words and the one game record.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kelpsimulator/field.h"

namespace Kelp {

// A handler gets the words of one message (the command word first, the
// closing "\n" word last) and the record. True: read the next message;
// false: the program stops.
using CommandHandler = std::function<bool(const std::vector<std::string>&, ClientField&)>;
using CommandTable = std::unordered_map<std::string, CommandHandler>;

// Cuts a message at every single space. Consecutive spaces give empty words;
// tabs, carriage returns and newlines stay inside the words they touch. The
// last word is always "\n", so the list is never empty.
std::vector<std::string> SplitCommand(std::string_view message);

// Calls `f(message)` for each message in the bytes of one read. A read
// without a zero byte is one message. A zero byte ends a message; the first
// message is always handed on (an empty one included), later empty pieces
// (a terminator followed by nothing, or by another zero) are not messages.
// Stops early when `f` returns false; returns false in that case.
bool forEachMessage(std::string_view bytes, const std::function<bool(std::string_view)>& f);

// Runs one message: the handler of its first word, or the "illegal command "
// report when the word is not in `table`. Returns the handler's result (true
// for an unknown word).
bool dispatchMessage(std::string_view message, const CommandTable& table, ClientField& field);

// Reads and dispatches messages from `fd` until a handler returns false, the
// input ends or fails, or standard output is gone. The exit status is always 0.
int runCommandLoop(const CommandTable& table, ClientField& field, int fd = 0);

}  // namespace Kelp
