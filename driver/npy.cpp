#include "driver/npy.h"

#include <cerrno>
#include <cstring>

namespace Kelp {

std::string npyHeader(const std::string& descr, const std::vector<uint64_t>& shape) {
  std::string dict = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': (";
  for (size_t i = 0; i < shape.size(); ++i) {
    dict += std::to_string(shape[i]);
    if (i + 1 < shape.size() || shape.size() == 1) dict += ",";  // (n,) is a tuple, (n) is not
    if (i + 1 < shape.size()) dict += " ";
  }
  dict += "), }";
  constexpr size_t PREAMBLE = 10;  // magic (6), version (2), header length (2)
  const size_t total = (PREAMBLE + dict.size() + 1 + 63) / 64 * 64;
  dict.append(total - PREAMBLE - dict.size() - 1, ' ');
  dict += '\n';
  const size_t length = dict.size();
  std::string out = "\x93NUMPY";
  out += '\x01';
  out += '\x00';
  out += static_cast<char>(length & 0xff);
  out += static_cast<char>(length >> 8);
  return out + dict;
}

NpyWriter::~NpyWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool NpyWriter::open(const std::string& path, const std::string& descr,
                     const std::vector<uint64_t>& shape, size_t itemSize, std::string* error) {
  path_ = path;
  itemSize_ = itemSize;
  expected_ = 1;
  for (uint64_t n : shape) expected_ *= n;
  file_ = std::fopen(path.c_str(), "wbx");  // never over a file that exists
  if (file_ == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  const std::string header = npyHeader(descr, shape);
  if (std::fwrite(header.data(), 1, header.size(), file_) != header.size()) failed_ = true;
  return !failed_;
}

bool NpyWriter::write(const void* data, size_t n) {
  if (file_ == nullptr || failed_) return false;
  if (n != 0 && std::fwrite(data, itemSize_, n, file_) != n) failed_ = true;
  written_ += n;
  return !failed_;
}

bool NpyWriter::close(std::string* error) {
  if (file_ == nullptr) {
    *error = path_ + ": not open";
    return false;
  }
  const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
  const int saved = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (failed_ || !flushed || !closed) {
    *error = path_ + ": write failed: " + std::strerror(saved);
    return false;
  }
  if (written_ != expected_) {
    *error = path_ + ": " + std::to_string(written_) + " elements written, the shape holds " +
             std::to_string(expected_);
    return false;
  }
  return true;
}

}  // namespace Kelp
