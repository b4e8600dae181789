#include "player/value_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>

namespace {

constexpr char MAGIC[8] = {'K', 'E', 'L', 'P', 'V', 'A', 'L', '1'};

// Reads little-endian values off the front of the bytes; the first failure
// names what was being read.
class Reader {
 public:
  Reader(std::span<const uint8_t> bytes, std::string* error) : bytes_(bytes), error_(error) {}

  bool u32(uint32_t* v, const char* what) {
    if (!need(4, what)) return false;
    const uint8_t* p = bytes_.data() + at_;
    *v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    at_ += 4;
    return true;
  }
  bool floats(float* out, size_t n, const char* what) {
    if (!need(4 * n, what)) return false;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* p = bytes_.data() + at_ + 4 * i;
      const uint32_t bits =
          uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
      std::memcpy(&out[i], &bits, 4);
      if (!std::isfinite(out[i])) {
        return fail(std::string("a value that is not finite in ") + what + " at byte " +
                    std::to_string(at_ + 4 * i));
      }
    }
    at_ += 4 * n;
    return true;
  }
  bool magic() {
    if (bytes_.size() < sizeof MAGIC || std::memcmp(bytes_.data(), MAGIC, sizeof MAGIC) != 0)
      return fail("not a value model: it does not start with KELPVAL1");
    at_ = sizeof MAGIC;
    return true;
  }
  size_t left() const { return bytes_.size() - at_; }
  bool fail(const std::string& text) {
    if (error_ != nullptr) *error_ = text;
    return false;
  }

 private:
  bool need(size_t n, const char* what) {
    if (left() >= n) return true;
    return fail(std::string("truncated: the file ends in ") + what + " (" + std::to_string(n) +
                " bytes needed at byte " + std::to_string(at_) + ", " + std::to_string(left()) +
                " left)");
  }
  std::span<const uint8_t> bytes_;
  std::string* error_;
  size_t at_ = 0;
};

}  // namespace

std::optional<ValueModel> ValueModel::fromBytes(std::span<const uint8_t> bytes,
                                                std::string* error) {
  Reader r(bytes, error);
  if (!r.magic()) return std::nullopt;
  uint32_t count = 0;
  if (!r.u32(&count, "the layer count")) return std::nullopt;
  if (count < 1 || count > MAX_LAYERS) {
    r.fail("bad layer count " + std::to_string(count) + " (1.." + std::to_string(MAX_LAYERS) + ")");
    return std::nullopt;
  }
  ValueModel m;
  std::vector<float> weights;
  uint32_t previous = VALUE_FEATURES;
  for (uint32_t l = 0; l < count; ++l) {
    uint32_t out = 0;
    uint32_t in = 0;
    if (!r.u32(&out, "a layer's sizes") || !r.u32(&in, "a layer's sizes")) return std::nullopt;
    const std::string layer = "layer " + std::to_string(l);
    if (out < 1 || out > MAX_WIDTH || in < 1 || in > MAX_WIDTH) {
      r.fail(layer + ": sizes " + std::to_string(out) + "x" + std::to_string(in) +
             " out of range (1.." + std::to_string(MAX_WIDTH) + ")");
      return std::nullopt;
    }
    if (in != previous) {
      r.fail(layer + " takes " + std::to_string(in) + " inputs where " + std::to_string(previous) +
             " come");
      return std::nullopt;
    }
    // Checked before anything is allocated for the layer.
    if (r.left() < 4ull * (uint64_t{out} * in + out)) {
      r.fail("truncated: the file ends in " + layer + "'s weights");
      return std::nullopt;
    }
    Layer& y = m.layers_.emplace_back();
    y.out = static_cast<int>(out);
    y.in = static_cast<int>(in);
    weights.resize(size_t{out} * in);
    y.bias.resize(out);
    if (!r.floats(weights.data(), weights.size(), "weights") ||
        !r.floats(y.bias.data(), out, "biases"))
      return std::nullopt;
    // Stored by input, so that evaluate's inner loop runs over the outputs
    // with unit stride.
    y.weightsByInput.resize(weights.size());
    for (uint32_t o = 0; o < out; ++o) {
      for (uint32_t i = 0; i < in; ++i) y.weightsByInput[size_t{i} * out + o] = weights[o * in + i];
    }
    previous = out;
  }
  if (previous != VALUE_SCORES) {
    r.fail("the last layer gives " + std::to_string(previous) + " outputs, not " +
           std::to_string(VALUE_SCORES));
    return std::nullopt;
  }
  uint32_t checks = 0;
  if (!r.u32(&checks, "the check count")) return std::nullopt;
  if (checks > MAX_CHECKS) {
    r.fail("bad check count " + std::to_string(checks) + " (0.." + std::to_string(MAX_CHECKS) +
           ")");
    return std::nullopt;
  }
  for (uint32_t k = 0; k < checks; ++k) {
    std::array<float, VALUE_FEATURES> in{};
    std::array<float, VALUE_SCORES> want{};
    std::array<float, VALUE_SCORES> got{};
    if (!r.floats(in.data(), in.size(), "a check case") ||
        !r.floats(want.data(), want.size(), "a check case"))
      return std::nullopt;
    m.evaluate(in.data(), got.data());
    for (int s = 0; s < VALUE_SCORES; ++s) {
      if (!(std::fabs(got[s] - want[s]) <= CHECK_TOLERANCE)) {
        r.fail("check case " + std::to_string(k) + " fails: probability of score " +
               std::to_string(s - VALUE_MAX_SCORE) + " is " + std::to_string(got[s]) +
               " here and " + std::to_string(want[s]) + " in the file");
        return std::nullopt;
      }
    }
  }
  if (r.left() != 0) {
    r.fail(std::to_string(r.left()) + " trailing bytes after the check cases");
    return std::nullopt;
  }
  m.checks_ = static_cast<int>(checks);
  return m;
}

std::optional<ValueModel> ValueModel::fromFile(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error != nullptr) *error = path + ": " + text;
    return std::nullopt;
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot open the file");
  // The largest file the format allows, plus one byte to tell a longer one:
  // a device or a huge file is not read to its end.
  constexpr size_t LAYER = 8 + 4 * (size_t{MAX_WIDTH} * MAX_WIDTH + MAX_WIDTH);
  constexpr size_t LARGEST =
      sizeof MAGIC + 4 + MAX_LAYERS * LAYER + 4 + MAX_CHECKS * 4 * (VALUE_FEATURES + VALUE_SCORES);
  std::vector<uint8_t> bytes;
  std::array<char, 65536> chunk;
  while (bytes.size() <= LARGEST && in.read(chunk.data(), chunk.size()).gcount() > 0) {
    bytes.insert(bytes.end(), chunk.data(), chunk.data() + in.gcount());
  }
  if (in.bad()) return fail("cannot read the file");
  if (bytes.size() > LARGEST) return fail("too large for a value model");
  std::string problem;
  std::optional<ValueModel> m = fromBytes(bytes, &problem);
  if (!m) return fail(problem);
  return m;
}

void ValueModel::evaluate(const float* features, float* probs) const {
  // Two fixed buffers of the widest layer, on the stack: nothing allocated,
  // nothing shared between threads.
  std::array<float, MAX_WIDTH> a;
  std::array<float, MAX_WIDTH> b;
  const float* x = features;
  float* y = a.data();
  for (size_t l = 0; l < layers_.size(); ++l) {
    const Layer& layer = layers_[l];
    std::copy(layer.bias.begin(), layer.bias.end(), y);
    const float* w = layer.weightsByInput.data();
    for (int i = 0; i < layer.in; ++i) {
      const float xi = x[i];
      if (xi == 0.0f) continue;  // empty slots and the one-hot: most inputs are zero
      const float* row = w + static_cast<size_t>(i) * layer.out;
      for (int o = 0; o < layer.out; ++o) y[o] += row[o] * xi;
    }
    if (l + 1 < layers_.size()) {
      for (int o = 0; o < layer.out; ++o) y[o] = std::max(y[o], 0.0f);
    }
    x = y;
    y = (y == a.data()) ? b.data() : a.data();
  }
  // Softmax of the last layer's outputs, x.
  const float top = *std::max_element(x, x + VALUE_SCORES);
  float sum = 0.0f;
  for (int s = 0; s < VALUE_SCORES; ++s) {
    probs[s] = std::exp(x[s] - top);
    sum += probs[s];
  }
  for (int s = 0; s < VALUE_SCORES; ++s) probs[s] /= sum;
}
