// The learned value's inputs and its model file: features that see the
// position from the side to throw whatever the throwing order, a reader
// that computes what the weights say and refuses every broken file with a
// reason, and samples valued from the right side's point of view.
#include "player/value_model.h"

#include <array>
#include <cmath>

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

// The features of own and opp stones (x, y), nearest first, and the rest.
std::vector<float> expected(const std::vector<std::array<float, 2>>& own,
                            const std::vector<std::array<float, 2>>& opp, int made, bool hammer) {
  std::vector<float> f(VALUE_FEATURES, 0.0f);
  for (int side = 0; side < 2; ++side) {
    const auto& list = side == 0 ? own : opp;
    for (size_t k = 0; k < list.size(); ++k) {
      float* slot = &f[(side * 8 + k) * 4];
      const auto [x, y] = list[k];
      slot[0] = 1.0f, slot[1] = x, slot[2] = y, slot[3] = static_cast<float>(std::hypot(x, y));
    }
  }
  f[VALUE_THROWS_AT + made] = 1.0f;
  f[VALUE_HAMMER_AT] = hammer;
  return f;
}

TEST(ValueFeatures, SeeTheSideToThrowWhateverTheOrderOfThrows) {
  // Two BLACK stones at the same distance from the tee (the board keeps
  // ties in the order they came): ordered by x.
  const std::vector<Kelp::At> stones = {
      {BLACK, 0.6, 0.0}, {BLACK, -0.6, 0.0}, {WHITE, 0.1, -0.3}, {BLACK, 0.2, -3.0}};
  const std::vector<Kelp::At> reordered = {stones[3], stones[1], stones[2], stones[0]};
  const std::vector<std::array<float, 2>> black = {{-0.6f, 0.0f}, {0.6f, 0.0f}, {0.2f, -3.0f}};
  const std::vector<std::array<float, 2>> white = {{0.1f, -0.3f}};
  // BLACK throws the even turns, WHITE (with the hammer) the odd ones.
  for (const auto& order : {stones, reordered}) {
    EXPECT_EQ(featuresOf(position(10, order)), expected(black, white, 6, false));
    EXPECT_EQ(featuresOf(position(9, order)), expected(white, black, 7, true));
    EXPECT_EQ(featuresOf(position(1, order)), expected(white, black, 15, true));
  }
  EXPECT_EQ(featuresOf(CurlingGameState{}), expected({}, {}, 0, false));
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

TEST(ValueModel, ComputesWhatItsWeightsSayAndRefusesEveryBrokenFile) {
  std::string error;
  const std::optional<ValueModel> m = ValueModel::fromBytes(modelFile(handModel()).bytes(), &error);
  ASSERT_TRUE(m) << error;
  // x1 = 1: h = (1, 0), logit 16 = ln 4: 4 / 20, the others 1 / 20. x1 = -1:
  // h = (0, 1), logits 16 = ln 4 and 0 = ln 9: 4 / 28 and 9 / 28.
  for (const auto& [x1, p0, p8, p16] :
       {std::tuple{1.0f, 0.05f, 0.05f, 0.2f}, std::tuple{-1.0f, 9.0f / 28, 1.0f / 28, 4.0f / 28}}) {
    const std::vector<float> p = evaluate(*m, x1);
    EXPECT_NEAR(p[0], p0, 1e-6f) << x1;
    EXPECT_NEAR(p[8], p8, 1e-6f) << x1;
    EXPECT_NEAR(p[16], p16, 1e-6f) << x1;
  }
  const CheckCase check{std::vector<float>{0.0f, -1.0f}, evaluate(*m, -1.0f)};
  const KelpTest::ModelBytes good = modelFile(handModel(), {check, check});
  ASSERT_TRUE(ValueModel::fromBytes(good.bytes(), &error)) << error;
  EXPECT_EQ(ValueModel::fromBytes(good.bytes(), &error)->checks(), 2);

  const auto refused = [](const KelpTest::ModelBytes& b, const std::string& says) {
    std::string why;
    EXPECT_FALSE(ValueModel::fromBytes(b.bytes(), &why)) << says;
    EXPECT_NE(why.find(says), std::string::npos) << "wanted '" << says << "', got: " << why;
  };
  // Every proper prefix is truncated (or, shorter than the magic, not a model).
  for (size_t n = 0; n < good.text.size(); ++n) {
    refused({good.text.substr(0, n)}, n < 8 ? "KELPVAL1" : "truncated");
  }
  refused({good.text + '\0'}, "1 trailing bytes");
  refused({"KELPVAL2" + good.text.substr(8)}, "does not start with KELPVAL1");
  const DenseLayer last{17, 81, {}, {}};
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
  DenseLayer nan{17, 81, std::vector<float>(17 * 81, 0.0f), {}};
  nan.weights[100] = std::nanf("");
  refused(modelFile({nan}), "not finite in weights");
  refused(modelFile({{17, 81, {}, {0.0f, 0.0f, INFINITY}}}), "not finite in biases");
  CheckCase bad = check;
  bad.out[5] = -INFINITY;
  refused(modelFile(handModel(), {bad}), "not finite in a check case");
  bad.out[5] = check.out[5];
  bad.out[0] += 2e-5f;
  refused(modelFile(handModel(), {check, bad}), "check case 1 fails: probability of score -8");
  EXPECT_FALSE(ValueModel::fromFile("/nonexistent/value.kvm", &error));
  EXPECT_NE(error.find("/nonexistent/value.kvm: cannot open"), std::string::npos) << error;
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
  const double rolledOut = StrongWorker(p, 3).sample(s, tee.move.move_state).points;
  EXPECT_EQ(rolledOut, all.points);
  // A shot that leaves five throws, with rollouts for the last five: no model.
  p.model = &m;
  p.model_rollout_throws = 0;
  p.rollout_last_throws = 5;
  EXPECT_EQ(StrongWorker(p, 3).sample(s, tee.move.move_state).points, rolledOut);
  p.rollout_last_throws = 4;
  EXPECT_EQ(StrongWorker(p, 3).sample(s, tee.move.move_state).points, -2.0);
  p.rollout_last_throws = 0;
  // By the win table: the chance after the end the model expects.
  p.win_table = &measuredWinTable();
  p.match = {0, true, 2};
  const SampleValue v = StrongWorker(p, 3).sample(s, tee.move.move_state);
  EXPECT_NEAR(v.value, measuredWinTable().afterEnd(0, -2, true, 2), 1e-12);
  EXPECT_EQ(v.points, -2.0);
}

TEST(ValueModel, TheCommittedModelLoadsAndRanksObviousPositions) {
  // Loading runs the file's check cases: the C++ network must give the
  // probabilities PyTorch gave for them, within 1e-5.
  std::string error;
  const std::optional<ValueModel> m =
      ValueModel::fromFile(KELP_SOURCE_DIR "/player/models/value.kvm", &error);
  ASSERT_TRUE(m) << error;
  EXPECT_GT(m->checks(), 0);
  auto expected = [&](const CurlingGameState& s) {
    float f[81];
    float p[17];
    valueFeatures(s, f);
    m->evaluate(f, p);
    double e = 0.0;
    for (int k = 0; k < 17; ++k) e += p[k] * (k - 8);
    return e;
  };
  // Two own stones on the tee are worth more than an empty house and than
  // two of the opponent's, for the side without the hammer from the middle
  // of the end on. (For the side with the hammer the model does not yet
  // rank them so: see player/models/README.md.)
  for (int turn : {4, 6, 8, 10, 12}) {
    const double own = expected(position(turn, {{BLACK, 0.0, 0.0}, {BLACK, 0.35, 0.0}}));
    EXPECT_GT(own, expected(position(turn, {})) + 0.2) << turn;
    EXPECT_GT(own, expected(position(turn, {{WHITE, 0.0, 0.0}, {WHITE, 0.35, 0.0}})) + 0.2) << turn;
  }
}

}  // namespace
