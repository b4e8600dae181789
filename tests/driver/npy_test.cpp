// The .npy writer: headers NumPy reads (a tuple for one dimension, the data
// at a multiple of 64 bytes), no file overwritten, and too few or too many
// elements reported rather than left in a file that lies about its shape.
#include "driver/npy.h"

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

using Kelp::NpyWriter, Kelp::npyHeader;

TEST(Npy, WritesTheElementsAndRefusesWhatWouldLie) {
  KelpTest::TempDir dir;
  const std::string path = (dir.path() / "a.npy").string();
  std::string error;
  {
    NpyWriter w;
    ASSERT_TRUE(w.open(path, "|i1", {3}, 1, &error)) << error;
    const int8_t v[] = {-8, 0, 8};
    EXPECT_TRUE(w.write(v, 2));
    EXPECT_TRUE(w.write(v + 2, 1));
    EXPECT_TRUE(w.close(&error)) << error;
  }
  const std::string bytes = KelpTest::readFile(path);
  const std::string header = npyHeader("|i1", {3});
  // The data starts at a multiple of 64 bytes; one dimension is a tuple.
  EXPECT_EQ(header.size() % 64, 0u);
  EXPECT_EQ(header.substr(0, 8), std::string("\x93NUMPY\x01\x00", 8));
  EXPECT_NE(header.find("'descr': '|i1', 'fortran_order': False, 'shape': (3,), }"),
            std::string::npos);
  EXPECT_EQ(bytes, header + std::string("\xf8\x00\x08", 3));
  NpyWriter again;
  EXPECT_FALSE(again.open(path, "|i1", {3}, 1, &error));
  EXPECT_NE(error.find("exists"), std::string::npos) << error;
  EXPECT_EQ(KelpTest::readFile(path), bytes) << "an existing file is left alone";
  for (const size_t n : {1, 4}) {
    NpyWriter w;
    const std::string other = (dir.path() / (std::to_string(n) + ".npy")).string();
    ASSERT_TRUE(w.open(other, "<f4", {3}, 4, &error));
    const float f[4] = {};
    w.write(f, n);
    EXPECT_FALSE(w.close(&error));
    EXPECT_NE(error.find(std::to_string(n) + " elements written, the shape holds 3"),
              std::string::npos)
        << error;
  }
}

}  // namespace
