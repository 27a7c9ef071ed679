#include "client/sounds.h"

#include <QApplication>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QFile>
#include <QMediaDevices>
#include <QtEndian>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <vector>

// The voices' resources live in this static library, whose registration the
// linker would drop unreferenced; the macro must stand outside any namespace.
static void registerVoices() { Q_INIT_RESOURCE(voices); }

namespace ombrix::client {

namespace {

// One stretch of a sound: a tone gliding from `from` to `to` Hz, mixed with
// `noise` (0..1) of white noise, at `level` (0..1) under a soft envelope.
struct Segment {
  double from, to, seconds, noise = 0, level = 0.5;
};

const std::map<QString, std::vector<Segment>>& recipes() {
  static const std::map<QString, std::vector<Segment>> r = {
      {"BID", {{660, 660, 0.07}, {880, 880, 0.09}}},
      {"PLACECARD", {{300, 200, 0.05, 0.9, 0.4}}},
      {"TAKETRICK", {{400, 300, 0.08, 0.8, 0.35}, {523, 523, 0.12, 0, 0.4}}},
      {"TURN", {{880, 880, 0.12, 0, 0.45}}},
      {"TURNNEW", {{523, 523, 0.08}, {659, 659, 0.08}, {784, 784, 0.12}}},
      {"TURNOVERBAD", {{440, 330, 0.18}, {330, 220, 0.22}}},
      {"TURNOVERGOOD", {{523, 523, 0.09}, {784, 784, 0.09}, {1046, 1046, 0.16}}},
      {"WINNER", {{523, 523, 0.12}, {659, 659, 0.12}, {784, 784, 0.12}, {1046, 1046, 0.35, 0, 0.6}}},
      // The chatter sounds that are noises; the words are spoken().
      {"WAVE2", {{300, 200, 0.12, 0.95, 0.5}, {0, 0, 0.08, 0, 0}, {280, 180, 0.14, 0.95, 0.5}}},  // Cough
      {"WAVE6", {{90, 110, 0.5, 0.6, 0.45}, {0, 0, 0.15, 0, 0}, {110, 80, 0.45, 0.6, 0.4}}},      // Snoring
      {"WAVE7", {{300, 700, 0.25, 0.3, 0.3}, {800, 400, 0.15, 0.95, 0.6}}},                       // Sneezing
  };
  return r;
}

// The chatter sounds that are words, spoken by espeak-ng into
// assets/voices/ (scripts/make_voices.sh) and built in as the resources
// ":/voices/waveN.wav": Doh, Hello, Thank You, Where have you been?, Sorry,
// Welcome, Yeehaa, Yippee, Oh No.
bool spoken(const QString& key) {
  static const std::set<QString> v = {"WAVE1", "WAVE3",  "WAVE4",  "WAVE5", "WAVE8",
                                      "WAVE9", "WAVE10", "WAVE11", "WAVE12"};
  return v.count(key) != 0;
}

// One G.711 mu-law byte as a 16-bit sample.
int16_t fromMuLaw(uint8_t u) {
  u = ~u;
  const int magnitude = ((((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4)) - 0x84;
  return static_cast<int16_t>(u & 0x80 ? -magnitude : magnitude);
}

// The samples of a RIFF WAVE file as the script writes it (mono 8-bit mu-law
// at kSoundRate), as 16-bit PCM; empty for anything else.
QByteArray decodeVoice(const QByteArray& file) {
  constexpr uint16_t kMuLaw = 7;
  if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE") return {};
  const auto u16 = [&](qsizetype at) { return qFromLittleEndian<uint16_t>(file.constData() + at); };
  const auto u32 = [&](qsizetype at) { return qFromLittleEndian<uint32_t>(file.constData() + at); };
  bool format = false;
  for (qsizetype at = 12; at + 8 <= file.size();) {
    const QByteArray id = file.mid(at, 4);
    const qsizetype size = u32(at + 4), body = at + 8;
    if (size > file.size() - body) return {};
    if (id == "fmt ") {
      if (size < 16) return {};
      format =
          u16(body) == kMuLaw && u16(body + 2) == 1 && u32(body + 4) == kSoundRate && u16(body + 14) == 8;
      if (!format) return {};
    } else if (id == "data" && format) {
      QByteArray out(size * 2, Qt::Uninitialized);
      for (qsizetype i = 0; i < size; ++i)
        qToLittleEndian(fromMuLaw(static_cast<uint8_t>(file[body + i])), out.data() + 2 * i);
      return out;
    }
    at = body + size + (size & 1);  // chunks are padded to an even length
  }
  return {};
}

QByteArray synthesise(const std::vector<Segment>& segments) {
  QByteArray out;
  uint32_t noise = 0x12345678u;  // a fixed generator: every run sounds the same
  double phase = 0;
  for (const Segment& s : segments) {
    const int n = static_cast<int>(s.seconds * kSoundRate);
    const int ramp = std::max(1, std::min(n / 4, kSoundRate / 200));  // 5 ms, no clicks
    for (int i = 0; i < n; ++i) {
      const double f = s.from + (s.to - s.from) * i / n;
      phase += 2 * M_PI * f / kSoundRate;
      noise = noise * 1664525u + 1013904223u;
      const double white = (static_cast<int32_t>(noise) / 2147483648.0);
      const double tone = std::sin(phase) + 0.3 * std::sin(2 * phase);
      const double envelope = std::min({1.0, double(i) / ramp, double(n - i) / ramp});
      const double v = s.level * envelope * ((1 - s.noise) * tone / 1.3 + s.noise * white);
      const int16_t sample = static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32000));
      char le[2];
      qToLittleEndian(sample, le);
      out.append(le, 2);
    }
  }
  return out;
}

std::function<void(const QString&)>& sink() {
  static std::function<void(const QString&)> s;
  return s;
}

// The one output: a new sound replaces the one playing.
class Player {
 public:
  void play(const QByteArray& samples) {
    if (!ready()) return;
    sink_->stop();
    buffer_.close();
    buffer_.setData(samples);
    buffer_.open(QIODevice::ReadOnly);
    sink_->start(&buffer_);
  }

 private:
  bool ready() {
    if (tried_) return sink_ != nullptr;
    tried_ = true;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(kSoundRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (device.isNull() || !device.isFormatSupported(format)) return false;
    sink_ = std::make_unique<QAudioSink>(device, format);
    return true;
  }
  bool tried_ = false;
  std::unique_ptr<QAudioSink> sink_;
  QBuffer buffer_;
};

}  // namespace

QByteArray soundSamples(const QString& name) {
  static std::map<QString, QByteArray> made;
  static const bool registered = (registerVoices(), true);
  (void)registered;
  const QString key = name.toUpper();
  const auto recipe = recipes().find(key);
  if (recipe == recipes().end() && !spoken(key)) return {};
  QByteArray& samples = made[key];
  if (samples.isEmpty()) {
    if (spoken(key)) {
      QFile file(":/voices/" + key.toLower() + ".wav");
      if (file.open(QIODevice::ReadOnly)) samples = decodeVoice(file.readAll());
    } else {
      samples = synthesise(recipe->second);
    }
  }
  return samples;
}

void playSound(const QString& name) {
  if (sink()) return sink()(name);
  const QByteArray samples = soundSamples(name);
  if (samples.isEmpty()) return QApplication::beep();
  // Made once and never destroyed: the audio sink must not outlive the
  // application object in a static destructor.
  static Player* player = new Player;
  player->play(samples);
}

void setSoundSink(std::function<void(const QString&)> s) { sink() = std::move(s); }

}  // namespace ombrix::client
