// The program's sounds: eight game sounds ("BID" ... "WINNER") and twelve
// chatter sounds ("WAVE1" ... "WAVE12"). The game sounds and the chatter
// noises (cough, snoring, sneeze) are synthesised on first use; the chatter
// sounds that are words are spoken voices built in from assets/voices/. One
// plays at a time: starting a sound stops the one still playing, as the
// platform's sound call did.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace ombrix::client {

// 16-bit mono PCM at kSoundRate samples a second, or empty for an unknown
// name (letter case ignored). 16 kHz keeps the voices clear and small.
constexpr int kSoundRate = 16000;
QByteArray soundSamples(const QString& name);

// Starts the named sound asynchronously; an unknown name gives the
// desktop's alert sound instead. Without an audio device nothing is heard.
void playSound(const QString& name);

// Tests and headless runs hear nothing: the sink gets every name instead.
void setSoundSink(std::function<void(const QString& name)> sink);

}  // namespace ombrix::client
