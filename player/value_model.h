// A small learned value of positions: a dense network from the features of
// player/value_features.h to the probabilities of the end's score for the
// side to throw. The search reads it, shared and read-only, at the
// positions where its rollouts stop.
//
// File format "KELPVAL1", little-endian: the magic; uint32 L, the dense
// layers (1..8); per layer uint32 out, uint32 in, out*in float32 weights
// (out rows of in), out float32 biases; uint32 K, the check cases (0..64);
// per case VALUE_FEATURES float32 inputs and VALUE_SCORES float32
// probabilities as the trainer computed them. ReLU after every layer but
// the last, softmax over the last layer's outputs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/value_features.h"

class ValueModel {
 public:
  static constexpr int MAX_LAYERS = 8;
  static constexpr int MAX_WIDTH = 1024;
  static constexpr int MAX_CHECKS = 64;
  // A check case's outputs may differ from ours by this much per probability.
  static constexpr float CHECK_TOLERANCE = 1e-5f;

  // The model in bytes, or nothing with the first problem in *error: a wrong
  // magic, a truncated or overlong file, sizes out of range or that do not
  // chain from VALUE_FEATURES to VALUE_SCORES, a value that is not finite,
  // or a check case this code does not reproduce.
  static std::optional<ValueModel> fromBytes(std::span<const uint8_t> bytes, std::string* error);
  // The same for a file; a file that cannot be read is refused likewise.
  static std::optional<ValueModel> fromFile(const std::string& path, std::string* error);

  // The probabilities of the end scores -8..+8 (index score + 8) for the
  // side to throw. Allocates nothing; safe to call from several threads.
  void evaluate(const float* features, float* probs) const;

  int layers() const { return static_cast<int>(layers_.size()); }
  int checks() const { return checks_; }

 private:
  struct Layer {
    int out = 0;
    int in = 0;
    std::vector<float> weightsByInput;  // in rows of out: column i of the file's matrix is row i
    std::vector<float> bias;
  };
  std::vector<Layer> layers_;
  int checks_ = 0;
};
