// JPEG pictures through libjpeg-turbo: the download window's picture is
// kept as JPEG data in the program.
#pragma once

#include <QByteArray>
#include <QImage>

namespace ombrix::ui {

// A null image when the data is not a JPEG picture libjpeg can read.
QImage decodeJpeg(const QByteArray& data);
// quality 1..100.
QByteArray encodeJpeg(const QImage& image, int quality = 90);

}  // namespace ombrix::ui
