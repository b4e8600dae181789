// The .npy writer: a header NumPy reads (the data at a multiple of 64
// bytes, one dimension as a tuple), no file overwritten, and too few or too
// many elements reported rather than left in a file that lies about its shape.
#include "driver/npy.h"

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

TEST(Npy, WritesTheElementsAndRefusesWhatWouldLie) {
  KelpTest::TempDir dir;
  std::string error;
  for (const size_t n : {3, 2, 4}) {
    const std::string path = (dir.path() / (std::to_string(n) + ".npy")).string();
    Kelp::NpyWriter w;
    ASSERT_TRUE(w.open(path, "|i1", {3}, 1, &error)) << error;
    const int8_t v[] = {-8, 0, 8, 1};
    EXPECT_TRUE(w.write(v, n));
    EXPECT_EQ(w.close(&error), n == 3) << error;
    if (n != 3) {
      EXPECT_NE(error.find(std::to_string(n) + " elements written, the shape holds 3"),
                std::string::npos)
          << error;
      continue;
    }
    const std::string header = Kelp::npyHeader("|i1", {3});
    EXPECT_EQ(header.size() % 64, 0u);
    EXPECT_TRUE(header.starts_with(std::string("\x93NUMPY\x01\x00", 8)));
    EXPECT_NE(header.find("{'descr': '|i1', 'fortran_order': False, 'shape': (3,), }"),
              std::string::npos);
    EXPECT_EQ(KelpTest::readFile(path), header + std::string("\xf8\x00\x08", 3));
    Kelp::NpyWriter again;
    EXPECT_FALSE(again.open(path, "|i1", {3}, 1, &error));
    EXPECT_EQ(KelpTest::readFile(path).size(), header.size() + 3) << "the file is left alone";
  }
}

}  // namespace
