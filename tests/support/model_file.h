// Value model files written by the tests, byte by byte in the KELPVAL1
// layout, so that a test can choose every weight and break any field.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace KelpTest {

struct DenseLayer {
  uint32_t out, in;
  std::vector<float> weights, bias;  // out rows of in, and out; missing values are zeros
};

struct CheckCase {
  std::vector<float> in, out;  // 81 and 17; missing values are zeros
};

struct ModelBytes {
  std::string text;  // the file's bytes
  ModelBytes& raw(const std::string& s) { return text += s, *this; }
  ModelBytes& u32(uint32_t v) {
    for (int k = 0; k < 4; ++k) text += static_cast<char>(v >> (8 * k));
    return *this;
  }
  ModelBytes& floats(const std::vector<float>& v, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      uint32_t bits = 0;
      if (i < v.size()) std::memcpy(&bits, &v[i], 4);
      u32(bits);
    }
    return *this;
  }
  std::span<const uint8_t> bytes() const {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
  }
};

// A whole file: the magic, the layers, the check cases.
inline ModelBytes modelFile(const std::vector<DenseLayer>& layers,
                            const std::vector<CheckCase>& checks = {}) {
  ModelBytes b;
  b.raw("KELPVAL1").u32(static_cast<uint32_t>(layers.size()));
  for (const DenseLayer& l : layers) {
    b.u32(l.out).u32(l.in).floats(l.weights, size_t{l.out} * l.in).floats(l.bias, l.out);
  }
  b.u32(static_cast<uint32_t>(checks.size()));
  for (const CheckCase& c : checks) b.floats(c.in, 81).floats(c.out, 17);
  return b;
}

}  // namespace KelpTest
