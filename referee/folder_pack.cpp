#include "referee/folder_pack.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;

// Entry: kind (1 byte: 'f' file, 'd' folder), path length (8 bytes, little
// endian), path, then for a file its size (8 bytes) and bytes.
void putNumber(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

bool getNumber(const std::string& in, std::size_t& at, uint64_t& v) {
  if (in.size() - at < 8) return false;
  v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
  at += 8;
  return true;
}

bool getBytes(const std::string& in, std::size_t& at, std::string& out) {
  uint64_t n = 0;
  if (!getNumber(in, at, n) || n > in.size() - at) return false;
  out.assign(in, at, n);
  at += n;
  return true;
}

bool staysInside(const fs::path& p) {
  if (p.empty() || p.is_absolute()) return false;
  for (const auto& part : p) {
    if (part == ".." || part == "." || part.empty()) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> packFolder(const std::string& dir, std::string& why) {
  std::string out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const fs::path rel = it->path().lexically_relative(dir);
    if (it->is_directory()) {
      out.push_back('d');
      putNumber(out, rel.string().size());
      out += rel.string();
    } else if (it->is_regular_file()) {
      std::ifstream in(it->path(), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in && !in.eof()) {
        why = "cannot read " + it->path().string();
        return std::nullopt;
      }
      out.push_back('f');
      putNumber(out, rel.string().size());
      out += rel.string();
      putNumber(out, bytes.size());
      out += bytes;
    }
  }
  if (ec) {
    why = "cannot list " + dir + ": " + ec.message();
    return std::nullopt;
  }
  return out;
}

bool unpackFolder(const std::string& packed, const std::string& dir, std::string& why) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  if (ec) {
    why = "cannot create " + dir;
    return false;
  }
  std::size_t at = 0;
  while (at < packed.size()) {
    const char kind = packed[at++];
    std::string path, bytes;
    if ((kind != 'f' && kind != 'd') || !getBytes(packed, at, path) ||
        (kind == 'f' && !getBytes(packed, at, bytes))) {
      why = "a damaged folder";
      return false;
    }
    if (!staysInside(path)) {
      why = "a path outside the folder: " + path;
      return false;
    }
    const fs::path target = fs::path(dir) / path;
    if (kind == 'd') {
      fs::create_directories(target, ec);
    } else {
      fs::create_directories(target.parent_path(), ec);
      std::ofstream out(target, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!out.flush()) {
        why = "cannot write " + target.string();
        return false;
      }
    }
  }
  return true;
}

}  // namespace Kelp::Referee
