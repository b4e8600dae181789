// kelp-datagen over its command line: shards from disjoint seed ranges
// concatenate to one run's data array for array, whatever the threads; the
// arrays load in NumPy with the dtypes and shapes the trainer reads and
// hold the labels of whole ends; an existing non-empty directory is left
// alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/tempdir.h"

namespace {

using KelpTest::TempDir;
using std::chrono::milliseconds;

const std::string DATAGEN = KELP_BINARY_DIR "/kelp-datagen";
constexpr milliseconds TIMEOUT{300000};
const char* const ARRAYS[] = {"features.npy", "score.npy", "throws.npy", "hammer.npy"};

KelpTest::Outcome datagen(const std::string& seed, const std::string& ends, const std::string& out,
                          const std::string& threads = "2") {
  return KelpTest::runToEnd(DATAGEN,
                            {"--seed", seed, "--ends", ends, "--samples", "6", "--no-model",
                             "--threads", threads, "--out", out},
                            TIMEOUT);
}

// The data after the header, whose length is in bytes 8 and 9.
std::string dataOf(const std::string& npy) {
  if (npy.size() < 10) return "";
  const size_t header = static_cast<uint8_t>(npy[8]) | static_cast<uint8_t>(npy[9]) << 8;
  return npy.substr(10 + header);
}

TEST(Datagen, ShardsConcatenateToOneRunAndLoadAsTheTrainerReadsThem) {
  TempDir dir;
  const std::string a = (dir.path() / "a").string();
  const std::string b = (dir.path() / "b").string();
  const std::string whole = (dir.path() / "whole").string();
  for (const auto& [seed, ends, out, threads] :
       {std::tuple{"0", "3", a, "2"}, std::tuple{"3", "2", b, "1"},
        std::tuple{"0", "5", whole, "3"}}) {
    const KelpTest::Outcome o = datagen(seed, ends, out, threads);
    ASSERT_EQ(o.status, 0) << o.out;
  }
  for (const char* name : ARRAYS) {
    const std::string joined = dataOf(KelpTest::readFile(dir.path() / "a" / name)) +
                               dataOf(KelpTest::readFile(dir.path() / "b" / name));
    const std::string one = dataOf(KelpTest::readFile(dir.path() / "whole" / name));
    EXPECT_FALSE(one.empty()) << name;
    EXPECT_TRUE(joined == one) << name << ": the shards differ from the run";
  }
  if (std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) {
    GTEST_SKIP() << "numpy is missing for /usr/bin/python3: the dtypes are not checked";
  }
  // Per end: throws 0..15, the hammer on the odd ones, and one end score
  // seen from alternating sides.
  const std::string check =
      "import json, numpy as np, sys\n"
      "d = sys.argv[1]\n"
      "f, s, t, h = (np.load(d + '/' + n + '.npy') for n in "
      "('features', 'score', 'throws', 'hammer'))\n"
      "assert (f.dtype, f.shape) == (np.float32, (80, 81)), (f.dtype, f.shape)\n"
      "assert (s.dtype, s.shape, t.dtype, t.shape, h.dtype, h.shape) == "
      "(np.int8, (80,), np.uint8, (80,), np.uint8, (80,))\n"
      "assert (t == np.tile(np.arange(16), 5)).all() and (h == t % 2).all()\n"
      "assert (f[np.arange(80), 64 + t] == 1).all() and (f[:, 80] == h).all()\n"
      "e = s.reshape(5, 16).astype(int)\n"
      "assert (e[:, 1:] == -e[:, :-1]).all() and (abs(e) <= 8).all(), e\n"
      "m = json.load(open(d + '/meta.json'))\n"
      "assert (m['positions'], m['seed_first'], m['seed_last'], m['samples']) == (80, 0, 4, 6), "
      "m\n";
  const KelpTest::Outcome o = KelpTest::runToEnd("/usr/bin/python3", {"-c", check, whole});
  EXPECT_EQ(o.status, 0) << o.out;
}

TEST(Datagen, RefusesToOverwriteData) {
  TempDir dir;
  KelpTest::writeFile(dir.path() / "old" / "score.npy", "keep");
  const KelpTest::Outcome full = datagen("0", "1", (dir.path() / "old").string());
  EXPECT_EQ(full.status, 2);
  EXPECT_NE(full.out.find("is not empty"), std::string::npos) << full.out;
  EXPECT_EQ(KelpTest::readFile(dir.path() / "old" / "score.npy"), "keep");
}

}  // namespace
