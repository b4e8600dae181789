// kelp-strong's value model over its pipes: a model file it cannot use stops
// it before it says anything on the protocol, with the reason and status 2;
// a good one is used and named; --no-model plays today's rollouts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/model_file.h"
#include "support/process.h"
#include "support/tempdir.h"
#include "support/text.h"

namespace {

using namespace std::string_literals;
using KelpTest::ChildProcess;
using KelpTest::DenseLayer;
using KelpTest::TempDir;
using std::chrono::milliseconds;

const std::string STRONG = KELP_BINARY_DIR "/kelp-strong";
constexpr milliseconds TIMEOUT{120000};

// The last line of a bench: its signature.
std::string signature(const KelpTest::Outcome& o) {
  const std::vector<std::string> lines = KelpTest::split(o.out, '\n');
  return lines.empty() ? "" : lines.back();
}

TEST(Model, AFileThatIsNotAModelStopsTheEngineBeforeTheProtocol) {
  TempDir dir;
  // The reader's every refusal is tested with it; here, that the engine
  // passes one on, and a file that is not there.
  const std::string truncated = (dir.path() / "truncated.kvm").string();
  KelpTest::writeFile(truncated, KelpTest::modelFile({{17, 81, {}, {}}}).text.substr(0, 100));
  const std::pair<std::string, std::string> cases[] = {
      {truncated, "truncated"}, {(dir.path() / "missing.kvm").string(), "cannot open"}};
  for (const auto& [path, says] : cases) {
    ChildProcess kelp(STRONG, {"--model", path}, dir.str());
    kelp.send("ISREADY");
    EXPECT_EQ(kelp.readAll(TIMEOUT), "") << path << ": nothing on the protocol";
    const auto status = kelp.wait(TIMEOUT);
    ASSERT_TRUE(status && status->exited) << path;
    EXPECT_EQ(status->code, 2) << path;
    const std::string& err = kelp.stderrText();
    EXPECT_TRUE(err.starts_with("kelp-strong: " + path + ": ")) << err;
    EXPECT_NE(err.find(says), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with("\n") && err.find('\n') == err.size() - 1) << "one line: " << err;
  }
}

TEST(Model, AModelFileIsUsedAndNamedAndNoModelPlaysTheRollouts) {
  TempDir dir;
  // A model that always expects the side to throw to score one.
  DenseLayer one{17, 81, {}, std::vector<float>(17, 0.0f)};
  one.bias[9] = 3.0f;
  const std::string path = (dir.path() / "one.kvm").string();
  KelpTest::writeFile(path, KelpTest::modelFile({one}).text);
  const std::vector<std::string> args = {"--bench", "--samples", "200"};
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), args.begin(), args.end());
    return KelpTest::runToEnd(STRONG, more, TIMEOUT);
  };
  const KelpTest::Outcome model = with({"--model", path});
  ASSERT_EQ(model.status, 0) << model.out;
  EXPECT_NE(model.out.find("value match, model " + path + ", seed 1\n"), std::string::npos)
      << model.out;
  const KelpTest::Outcome later = with({"--model", path, "--model-rollout-throws", "2"});
  const KelpTest::Outcome rollouts = with({"--no-model"});
  ASSERT_EQ(rollouts.status, 0) << rollouts.out;
  EXPECT_NE(rollouts.out.find("value match, seed 1\n"), std::string::npos) << rollouts.out;
  EXPECT_NE(signature(model), signature(rollouts));
  EXPECT_NE(signature(model), signature(later)) << "the rollout throws before the model count";
  EXPECT_EQ(signature(with({"--model", path})), signature(model)) << "a model plays repeatably";
}

}  // namespace
