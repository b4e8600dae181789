// The value model built into the programs from player/models/value.kvm at
// build time, and the models named by the engine options.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "player/value_model.h"

namespace Kelp {

// The built-in model's bytes; empty when the program was built without one.
std::span<const uint8_t> builtInModelBytes();

// The model read once from the built-in bytes (path empty) or from a file,
// kept for the life of the process: the searches hold plain pointers to it.
// Nothing, with the reason in *error, when the bytes are not a model or the
// file cannot be read. The built-in model when there is none: nullptr.
std::optional<const ValueModel*> sharedValueModel(const std::string& path, std::string* error);

}  // namespace Kelp
