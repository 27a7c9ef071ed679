// Colours as the chat wire and the settings file write them: 0x00BBGGRR
// values, named when they have a name ("clRed"), otherwise "$" and eight
// upper-case hexadecimal digits ("$00804000").
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>

namespace ombrix::client {

QString colorToText(uint32_t value);
// A name (letter case ignored), a decimal integer or "$" and hexadecimal;
// nothing for anything else.
std::optional<uint32_t> textToColor(const QString& text);
// What the screen shows for a value; the desktop's system colours come from
// the application's palette.
QColor toQColor(uint32_t value);
uint32_t fromQColor(const QColor& c);

}  // namespace ombrix::client
