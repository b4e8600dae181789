// The learned value's inputs and its model file: features that see the
// position from the side to throw whatever the throwing order, a reader
// that computes what the weights say and refuses every broken file with a
// reason, and samples valued from the right side's point of view.
#include "player/value_model.h"

#include <cmath>
#include <numeric>

#include "fixture.h"
#include "player/strong.h"
#include "player/value_features.h"
#include "support/model_file.h"

namespace {

using Kelp::BLACK, Kelp::WHITE;
using KelpTest::CheckCase, KelpTest::DenseLayer, KelpTest::modelFile;

std::vector<float> featuresOf(const CurlingGameState& s) {
  std::vector<float> f(VALUE_FEATURES, -1.0f);  // every value must be written
  valueFeatures(s, f.data());
  return f;
}

std::vector<float> slice(const std::vector<float>& v, int from, int n) {
  return {v.begin() + from, v.begin() + from + n};
}

TEST(ValueFeatures, SeeTheSideToThrowWhateverTheOrderOfThrows) {
  // Two BLACK stones at the same distance from the tee (the board keeps
  // ties in the order they came) and one WHITE stone.
  const std::vector<Kelp::At> stones = {
      {BLACK, 0.6, 0.0}, {BLACK, -0.6, 0.0}, {WHITE, 0.1, -0.3}, {BLACK, 0.2, -3.0}};
  const std::vector<Kelp::At> reordered = {stones[3], stones[1], stones[2], stones[0]};
  const std::vector<float> f = featuresOf(position(10, stones));
  EXPECT_EQ(featuresOf(position(10, reordered)), f);
  // BLACK throws at turn 10: own is BLACK, nearest first, ties by x.
  EXPECT_EQ(slice(f, 0, 8), (std::vector<float>{1.0f, -0.6f, 0.0f, 0.6f, 1.0f, 0.6f, 0.0f, 0.6f}));
  EXPECT_EQ(f[8], 1.0f);
  EXPECT_FLOAT_EQ(f[11], std::hypot(0.2f, -3.0f));
  EXPECT_EQ(slice(f, 12, 20), std::vector<float>(20, 0.0f)) << "empty own slots are zeros";
  EXPECT_EQ(slice(f, 32, 4), (std::vector<float>{1.0f, 0.1f, -0.3f, std::hypot(0.1f, 0.3f)}));
  EXPECT_EQ(slice(f, 36, 28), std::vector<float>(28, 0.0f));
  std::vector<float> hot(16, 0.0f);
  hot[6] = 1.0f;
  EXPECT_EQ(slice(f, VALUE_THROWS_AT, 16), hot) << "six throws made";
  EXPECT_EQ(f[VALUE_HAMMER_AT], 0.0f) << "BLACK throws first";
  // One throw later WHITE throws: the sides swap, WHITE has the hammer.
  const std::vector<float> g = featuresOf(position(9, stones));
  EXPECT_EQ(slice(g, 0, 32), slice(f, 32, 32));
  EXPECT_EQ(slice(g, 32, 32), slice(f, 0, 32));
  EXPECT_EQ(g[VALUE_THROWS_AT + 7], 1.0f);
  EXPECT_EQ(std::accumulate(g.begin() + VALUE_THROWS_AT, g.begin() + VALUE_HAMMER_AT, 0.0f), 1.0f);
  EXPECT_EQ(g[VALUE_HAMMER_AT], 1.0f);
  // The first and the last throw of an end.
  const std::vector<float> first = featuresOf(CurlingGameState{});
  EXPECT_EQ(std::accumulate(first.begin(), first.end(), 0.0f), 1.0f);
  EXPECT_EQ(first[VALUE_THROWS_AT], 1.0f);
  EXPECT_EQ(featuresOf(position(1, stones))[VALUE_HAMMER_AT - 1], 1.0f);
}

// Layer 0 (81 -> 2): h0 = relu(x1), h1 = relu(-x1). Layer 1 (2 -> 17):
// logit 16 = ln 4 (h0 + h1), logit 0 = ln 9 h1. Without the ReLU, x1 = 1
// would give h1 = -1 and lower the logit of -8; transposed weights would
// read other inputs.
std::vector<DenseLayer> handModel() {
  DenseLayer a{2, 81, std::vector<float>(2 * 81, 0.0f), {0.0f, 0.0f}};
  a.weights[0 * 81 + 1] = 1.0f;
  a.weights[1 * 81 + 1] = -1.0f;
  DenseLayer b{17, 2, std::vector<float>(17 * 2, 0.0f), {}};
  b.weights[16 * 2 + 0] = std::log(4.0f);
  b.weights[16 * 2 + 1] = std::log(4.0f);
  b.weights[0 * 2 + 1] = std::log(9.0f);
  return {a, b};
}

std::vector<float> evaluate(const ValueModel& m, float x1) {
  std::vector<float> in(VALUE_FEATURES, 0.0f);
  in[1] = x1;
  std::vector<float> p(VALUE_SCORES);
  m.evaluate(in.data(), p.data());
  return p;
}

TEST(ValueModel, ComputesWhatItsWeightsSay) {
  std::string error;
  const std::optional<ValueModel> m = ValueModel::fromBytes(modelFile(handModel()).bytes(), &error);
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->layers(), 2);
  // x1 = 1: h = (1, 0), logit 16 = ln 4: 4 / (16 + 4).
  std::vector<float> p = evaluate(*m, 1.0f);
  EXPECT_NEAR(p[16], 0.2f, 1e-6f);
  EXPECT_NEAR(p[0], 0.05f, 1e-6f);
  EXPECT_NEAR(p[8], 0.05f, 1e-6f);
  // x1 = -1: h = (0, 1), logits 16 = ln 4 and 0 = ln 9: 4 / 28 and 9 / 28.
  p = evaluate(*m, -1.0f);
  EXPECT_NEAR(p[16], 4.0f / 28, 1e-6f);
  EXPECT_NEAR(p[0], 9.0f / 28, 1e-6f);
  EXPECT_NEAR(p[8], 1.0f / 28, 1e-6f);
  // A file whose check cases this reproduces loads, and says so.
  const CheckCase ok{std::vector<float>{0.0f, -1.0f}, p};
  const std::optional<ValueModel> checked =
      ValueModel::fromBytes(modelFile(handModel(), {ok, ok}).bytes(), &error);
  ASSERT_TRUE(checked) << error;
  EXPECT_EQ(checked->checks(), 2);
}

TEST(ValueModel, RefusesEveryBrokenFileWithItsReason) {
  const auto layers = handModel();
  std::vector<float> p =
      evaluate(*ValueModel::fromBytes(modelFile(layers).bytes(), nullptr), -1.0f);
  CheckCase check{std::vector<float>{0.0f, -1.0f}, p};
  const KelpTest::ModelBytes good = modelFile(layers, {check});
  ASSERT_TRUE(ValueModel::fromBytes(good.bytes(), nullptr));
  const auto refused = [](const KelpTest::ModelBytes& b, const std::string& says) {
    std::string error;
    EXPECT_FALSE(ValueModel::fromBytes(b.bytes(), &error)) << says;
    EXPECT_NE(error.find(says), std::string::npos) << "wanted '" << says << "', got: " << error;
  };
  // Every proper prefix is truncated (or, shorter than the magic, not a model).
  for (size_t n = 0; n < good.text.size(); ++n) {
    KelpTest::ModelBytes cut;
    cut.text = good.text.substr(0, n);
    refused(cut, n < 8 ? "KELPVAL1" : "truncated");
  }
  KelpTest::ModelBytes longer = good;
  longer.text += '\0';
  refused(longer, "1 trailing bytes");
  KelpTest::ModelBytes magic = good;
  magic.text[7] = '2';
  refused(magic, "does not start with KELPVAL1");

  DenseLayer last{17, 81, {}, {}};
  refused(modelFile({}), "bad layer count 0");
  refused(modelFile(std::vector<DenseLayer>(9, last)), "bad layer count 9");
  refused(modelFile({{17, 80, {}, {}}}), "layer 0 takes 80 inputs where 81 come");
  refused(modelFile({{16, 81, {}, {}}}), "the last layer gives 16 outputs, not 17");
  refused(modelFile({{0, 81, {}, {}}, last}), "layer 0: sizes 0x81 out of range");
  refused(modelFile({{1025, 81, {}, {}}, {17, 1025, {}, {}}}), "layer 0: sizes 1025x81");
  refused(modelFile({{64, 81, {}, {}}, {17, 63, {}, {}}}), "layer 1 takes 63 inputs where 64");
  // Huge sizes that chain are refused before anything is read or allocated.
  refused(KelpTest::ModelBytes().raw("KELPVAL1").u32(2).u32(1024).u32(81),
          "truncated: the file ends in layer 0's weights");
  refused(modelFile({last}, std::vector<CheckCase>(65, check)), "bad check count 65");

  DenseLayer nan = last;
  nan.weights.assign(17 * 81, 0.0f);
  nan.weights[100] = std::nanf("");
  refused(modelFile({nan}), "not finite in weights");
  nan.weights[100] = 0.0f;
  nan.bias.assign(17, 0.0f);
  nan.bias[3] = INFINITY;
  refused(modelFile({nan}), "not finite in biases");
  CheckCase inf = check;
  inf.out[5] = -INFINITY;
  refused(modelFile(layers, {inf}), "not finite in a check case");
  CheckCase wrong = check;
  wrong.out[0] += 2e-5f;
  refused(modelFile(layers, {check, wrong}), "check case 1 fails: probability of score -8");
  // Files: a missing one, and one the reader names.
  std::string error;
  EXPECT_FALSE(ValueModel::fromFile("/nonexistent/value.kvm", &error));
  EXPECT_NE(error.find("/nonexistent/value.kvm: cannot open"), std::string::npos) << error;
  EXPECT_FALSE(ValueModel::fromFile("/", &error));
  EXPECT_NE(error.find("/: "), std::string::npos) << error;
}

TEST(StrongWorker, AModelValuesASampleFromTheRootSidesPointOfView) {
  // A model sure that the side to throw scores two.
  DenseLayer sure{17, 81, {}, std::vector<float>(17, 0.0f)};
  sure.bias[8 + 2] = 100.0f;
  const ValueModel m = *ValueModel::fromBytes(modelFile({sure}).bytes(), nullptr);
  const CurlingGameState s = position(6, {{BLACK, 0.25, 0.0}, {WHITE, -0.6, -2.5}});
  const Tree tee = candidates(s)[candidates(s).size() - 16];
  StrongParameters p;
  p.model = &m;
  // After the shot the other side throws: it scores two.
  EXPECT_EQ(StrongWorker(p, 3).sample(s, tee.move.move_state).points, -2.0);
  p.model_rollout_throws = 1;  // and after one more throw, the root's side again
  EXPECT_EQ(StrongWorker(p, 3).sample(s, tee.move.move_state).points, 2.0);
  // Rollouts that reach the end of the end: it is scored as it lies.
  p.model_rollout_throws = 15;
  const SampleValue all = StrongWorker(p, 3).sample(s, tee.move.move_state);
  p.model = nullptr;
  EXPECT_EQ(StrongWorker(p, 3).sample(s, tee.move.move_state).points, all.points);
  // By the win table: the chance after the end the model expects.
  p.model = &m;
  p.model_rollout_throws = 0;
  p.win_table = &measuredWinTable();
  p.match = {0, true, 2};
  const SampleValue v = StrongWorker(p, 3).sample(s, tee.move.move_state);
  EXPECT_NEAR(v.value, measuredWinTable().afterEnd(0, -2, true, 2), 1e-12);
  EXPECT_EQ(v.points, -2.0);
}

}  // namespace
