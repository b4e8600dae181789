// NumPy .npy files (format version 1.0, little-endian, C order), written
// front to back: the header first, since the shape is known in advance,
// then the elements as they come.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Kelp {

// The header of an array of dtype descr ("<f4", "|i1", ...) and shape: the
// magic, version 1.0, its length, and the dictionary padded with spaces and
// ended by a newline so that the data starts at a multiple of 64 bytes.
std::string npyHeader(const std::string& descr, const std::vector<uint64_t>& shape);

class NpyWriter {
 public:
  NpyWriter() = default;
  ~NpyWriter();
  NpyWriter(const NpyWriter&) = delete;
  NpyWriter& operator=(const NpyWriter&) = delete;

  // Creates path (it must not exist) and writes the header. False, with
  // the reason in *error, when it cannot.
  bool open(const std::string& path, const std::string& descr, const std::vector<uint64_t>& shape,
            size_t itemSize, std::string* error);
  // Appends n elements of the item size given to open.
  bool write(const void* data, size_t n);
  // Flushes and closes; false, with the reason, when a write failed or the
  // elements written are not exactly the shape's.
  bool close(std::string* error);

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  size_t itemSize_ = 0;
  uint64_t expected_ = 0;
  uint64_t written_ = 0;
  bool failed_ = false;
};

}  // namespace Kelp
