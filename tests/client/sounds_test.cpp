// The sounds as a listener meets them: chatter sounds last as long as a
// word or two, game sounds are short, and no two sounds are alike, played
// forwards or backwards.
#include "client/sounds.h"

#include <gtest/gtest.h>

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace ombrix::test {
namespace {

constexpr int kFrame = client::kSoundRate / 100;  // 10 ms
constexpr int kBins = 16;                         // a sound's shape: its audible span in 16 steps

const char* const kGameSounds[] = {"BID",     "PLACECARD",   "TAKETRICK",    "TURN",
                                   "TURNNEW", "TURNOVERBAD", "TURNOVERGOOD", "WINNER"};
const char* const kSpoken[] = {"WAVE1", "WAVE3",  "WAVE4",  "WAVE5", "WAVE8",
                               "WAVE9", "WAVE10", "WAVE11", "WAVE12"};
const char* const kNoises[] = {"WAVE2", "WAVE6", "WAVE7"};  // cough, snoring, sneeze

std::vector<double> samplesOf(const char* name) {
  const QByteArray pcm = client::soundSamples(name);
  std::vector<double> out(pcm.size() / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = qFromLittleEndian<int16_t>(pcm.constData() + 2 * i) / 32768.0;
  return out;
}

// Loudness and zero crossings over the audible span (from the first to the
// last 10 ms within 26 dB of the loudest), in kBins steps. The span is found
// on a 2.5 ms hop and the steps are measured on the samples themselves, so
// a sound read backwards has the reversed shape: framing from one end only
// would shift it by up to a frame, more than tells two sounds apart.
struct Shape {
  double seconds = 0;
  std::array<double, kBins> loudness{}, crossings{};
};

Shape shapeOf(const std::vector<double>& s) {
  constexpr int kHop = kFrame / 4;
  std::vector<double> rms;
  for (size_t at = 0; at + kFrame <= s.size(); at += kHop) {
    double sum = 0;
    for (int i = 0; i < kFrame; ++i) sum += s[at + i] * s[at + i];
    rms.push_back(std::sqrt(sum / kFrame));
  }
  Shape shape;
  if (rms.empty()) return shape;
  const double loudest = *std::max_element(rms.begin(), rms.end());
  if (loudest <= 0) return shape;
  size_t first = 0, last = rms.size() - 1;
  while (rms[first] < loudest / 20) ++first;
  while (rms[last] < loudest / 20) --last;
  const size_t from = first * kHop, span = last * kHop + kFrame - from;
  shape.seconds = double(span) / client::kSoundRate;
  double loudestBin = 0;
  for (int b = 0; b < kBins; ++b) {
    const size_t lo = from + span * b / kBins, hi = std::max(lo + 2, from + span * (b + 1) / kBins);
    double sum = 0;
    int crossings = 0;
    for (size_t i = lo; i < hi; ++i) {
      sum += s[i] * s[i];
      if (i > lo && (s[i] >= 0) != (s[i - 1] >= 0)) ++crossings;
    }
    shape.loudness[b] = std::sqrt(sum / (hi - lo));
    shape.crossings[b] = double(crossings) / (hi - lo - 1);
    loudestBin = std::max(loudestBin, shape.loudness[b]);
  }
  for (double& l : shape.loudness) l /= loudestBin;
  return shape;
}

Shape reversed(Shape s) {
  std::reverse(s.loudness.begin(), s.loudness.end());
  std::reverse(s.crossings.begin(), s.crossings.end());
  return s;
}

// 0 for the same sound; two sounds a listener tells apart score well above 0.1.
double distance(const Shape& a, const Shape& b) {
  double d = std::abs(std::log(a.seconds / b.seconds));
  for (int k = 0; k < kBins; ++k)
    d += (std::abs(a.loudness[k] - b.loudness[k]) + 4 * std::abs(a.crossings[k] - b.crossings[k])) / kBins;
  return d;
}

TEST(Sounds, ChatterSoundsLastAWordOrTwoAndGameSoundsAreShort) {
  for (const char* name : kSpoken) {
    const std::vector<double> s = samplesOf(name);
    ASSERT_FALSE(s.empty()) << name << ": the voice is missing or not mono mu-law at the sound rate";
    const Shape shape = shapeOf(s);
    EXPECT_GE(shape.seconds, 0.25) << name;
    EXPECT_LE(shape.seconds, 2.5) << name;
  }
  for (const char* name : kNoises) {
    const Shape shape = shapeOf(samplesOf(name));
    EXPECT_GE(shape.seconds, 0.25) << name;
    EXPECT_LE(shape.seconds, 2.5) << name;
  }
  for (const char* name : kGameSounds) {
    const Shape shape = shapeOf(samplesOf(name));
    EXPECT_GT(shape.seconds, 0.03) << name;
    EXPECT_LE(shape.seconds, 1.0) << name << ": a game sound must not hold up the game";
  }
}

TEST(Sounds, NoTwoSoundsAreAlikeForwardsOrBackwards) {
  std::map<std::string, Shape> shapes;
  for (const char* n : kGameSounds) shapes[n] = shapeOf(samplesOf(n));
  for (const char* n : kSpoken) shapes[n] = shapeOf(samplesOf(n));
  for (const char* n : kNoises) shapes[n] = shapeOf(samplesOf(n));
  ASSERT_EQ(shapes.size(), 20u);
  double closest = 1e9;
  std::string pair;
  for (auto a = shapes.begin(); a != shapes.end(); ++a)
    for (auto b = std::next(a); b != shapes.end(); ++b) {
      const double d = std::min(distance(a->second, b->second), distance(a->second, reversed(b->second)));
      if (d < closest) closest = d, pair = a->first + " and " + b->first;
    }
  EXPECT_GT(closest, 0.1) << pair << " are too much alike (" << closest << ")";
}

// The measure the test above trusts: a sound played backwards has the
// reversed shape, a quieter copy is the same sound, and a copy a listener
// hears as changed (its halves swapped, or a tenth faster and higher) is
// well above the threshold.
TEST(Sounds, TheLikenessMeasureHearsWhatAListenerHears) {
  for (const char* name : {"WAVE5", "WAVE7", "TURNOVERGOOD"}) {
    const std::vector<double> s = samplesOf(name);
    ASSERT_GT(s.size(), size_t(4 * kFrame)) << name;
    const Shape shape = shapeOf(s);
    const std::vector<double> backwards(s.rbegin(), s.rend());
    EXPECT_LT(distance(shapeOf(backwards), reversed(shape)), 0.02) << name;

    std::vector<double> quieter = s;
    for (double& v : quieter) v *= 0.5;
    EXPECT_LT(distance(shapeOf(quieter), shape), 0.02) << name;

    std::vector<double> swapped(s.begin() + s.size() / 2, s.end());
    swapped.insert(swapped.end(), s.begin(), s.begin() + s.size() / 2);
    EXPECT_GT(distance(shapeOf(swapped), shape), 0.1) << name;

    std::vector<double> faster;
    for (double at = 0; at < s.size(); at += 1.1) faster.push_back(s[static_cast<size_t>(at)]);
    EXPECT_GT(distance(shapeOf(faster), shape), 0.1) << name;
  }
}

}  // namespace
}  // namespace ombrix::test
