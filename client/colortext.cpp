#include "client/colortext.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>
#include <utility>

namespace ombrix::client {

namespace {

constexpr uint32_t kSystem = 0x80000000u;  // a system colour: this plus its index

const std::array<std::pair<const char*, uint32_t>, 17> kNamed = {{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clNone", 0x1FFFFFFF},
}};

const std::array<const char*, 25> kSystemNames = {
    "clScrollBar",    "clBackground",     "clActiveCaption", "clInactiveCaption", "clMenu",
    "clWindow",       "clWindowFrame",    "clMenuText",      "clWindowText",      "clCaptionText",
    "clActiveBorder", "clInactiveBorder", "clAppWorkSpace",  "clHighlight",       "clHighlightText",
    "clBtnFace",      "clBtnShadow",      "clGrayText",      "clBtnText",         "clInactiveCaptionText",
    "clBtnHighlight", "cl3DDkShadow",     "cl3DLight",       "clInfoText",        "clInfoBk",
};

// The palette role nearest to each system colour, by index.
const std::array<QPalette::ColorRole, 25> kSystemRoles = {
    QPalette::Button,
    QPalette::Window,
    QPalette::Highlight,
    QPalette::Mid,
    QPalette::Window,
    QPalette::Base,
    QPalette::Shadow,
    QPalette::WindowText,
    QPalette::Text,
    QPalette::HighlightedText,
    QPalette::Mid,
    QPalette::Midlight,
    QPalette::Dark,
    QPalette::Highlight,
    QPalette::HighlightedText,
    QPalette::Button,
    QPalette::Dark,
    QPalette::PlaceholderText,
    QPalette::ButtonText,
    QPalette::WindowText,
    QPalette::Light,
    QPalette::Shadow,
    QPalette::Midlight,
    QPalette::ToolTipText,
    QPalette::ToolTipBase,
};

}  // namespace

QString colorToText(uint32_t value) {
  for (const auto& [name, v] : kNamed)
    if (v == value) return name;
  if (value >= kSystem && value - kSystem < kSystemNames.size()) return kSystemNames[value - kSystem];
  return "$" + QString::number(value, 16).toUpper().rightJustified(8, '0');
}

std::optional<uint32_t> textToColor(const QString& text) {
  for (const auto& [name, v] : kNamed)
    if (text.compare(name, Qt::CaseInsensitive) == 0) return v;
  for (size_t k = 0; k < kSystemNames.size(); ++k)
    if (text.compare(kSystemNames[k], Qt::CaseInsensitive) == 0) return kSystem + uint32_t(k);
  bool ok = false;
  qlonglong v = 0;
  if (text.startsWith('$'))
    v = text.mid(1).toLongLong(&ok, 16);
  else if (!text.isEmpty() && (text[0].isDigit() || text[0] == '-'))
    v = text.toLongLong(&ok, 10);
  // A colour is a 32-bit value; negative decimals are their two's complement.
  if (!ok || v > 0xFFFFFFFFll || v < -0x80000000ll) return std::nullopt;
  return static_cast<uint32_t>(v);
}

QColor toQColor(uint32_t value) {
  if (value >= kSystem && value - kSystem < kSystemRoles.size())
    return QGuiApplication::palette().color(kSystemRoles[value - kSystem]);
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

uint32_t fromQColor(const QColor& c) {
  return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

}  // namespace ombrix::client
