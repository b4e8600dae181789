// Feeds arbitrary bytes, as one read's worth of messages, through the same
// message splitting, tokenizer and record handlers as the command loop, and
// checks after every message that the record still holds its invariants and
// that a message which printed a complaint left the record untouched.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string_view>

#include "driver/command.h"
#include "driver/io.h"
#include "driver/record_commands.h"
#include "kelpsimulator/check.h"
#include "kelpsimulator/field.h"
#include "support/record.h"

namespace {

const Kelp::CommandTable RECORD_COMMANDS = {
    {"NEWGAME", Kelp::newGameCommand},       {"POSITION", Kelp::positionCommand},
    {"SETSTATE", Kelp::setStateCommand},     {"SCORE", Kelp::scoreCommand},
    {"TOTALSCORE", Kelp::totalScoreCommand}, {"ShowAll", Kelp::showAllCommand},
};

std::ostringstream diagnostics;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cout.rdbuf(diagnostics.rdbuf());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > Kelp::MESSAGE_BUFFER_SIZE) size = Kelp::MESSAGE_BUFFER_SIZE;
  Kelp::ClientField field;
  Kelp::forEachMessage(std::string_view(reinterpret_cast<const char*>(data), size),
                       [&](std::string_view message) {
                         const Kelp::ClientField before = field;
                         diagnostics.str("");
                         KELP_CHECK(Kelp::dispatchMessage(message, RECORD_COMMANDS, field));
                         KELP_CHECK(field.rel_score == field.score[0] - field.score[1]);
                         KELP_CHECK(field.color <= 1u && field.my_color == field.color);
                         // Every line a record command prints is a refusal.
                         if (!diagnostics.str().empty())
                           KELP_CHECK(KelpTest::sameRecord(before, field));
                         return true;
                       });
  return 0;
}
