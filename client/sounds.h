// The program's sounds: eight game sounds ("BID" ... "WINNER") and twelve
// chatter sounds ("WAVE1" ... "WAVE12"), synthesised on first use, so the
// repository carries no binary audio. One plays at a time: starting a sound
// stops the one still playing, as the platform's sound call did.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace ombrix::client {

// 16-bit mono PCM at kRate samples a second, or empty for an unknown name
// (letter case ignored).
constexpr int kSoundRate = 22050;
QByteArray soundSamples(const QString& name);

// Starts the named sound asynchronously; an unknown name gives the
// desktop's alert sound instead. Without an audio device nothing is heard.
void playSound(const QString& name);

// Tests and headless runs hear nothing: the sink gets every name instead.
void setSoundSink(std::function<void(const QString& name)> sink);

}  // namespace ombrix::client
