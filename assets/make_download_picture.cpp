// Draws the download window's picture and writes it as JPEG data:
//   make_download_picture assets/download.jpg
// The picture is ours: the game's logo over a fan of cards from the
// installed KDE deck. Run again (target make_download_picture) to redo it.
#include <QApplication>
#include <QFile>
#include <QPainter>

#include "ui/cardpictures.h"
#include "ui/jpeg.h"
#include "widgets/art.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  QImage image(240, 150, QImage::Format_RGB888);
  QPainter g(&image);
  g.setRenderHint(QPainter::Antialiasing);
  g.setRenderHint(QPainter::SmoothPixmapTransform);
  g.drawTiledPixmap(image.rect(), ombrix::widgets::backgroundTile());
  auto& cards = ombrix::ui::CardPictures::instance();
  const int fan[4] = {1, 26, 39, 52};  // an ace and three kings, one card of each suit
  for (int k = 0; k < 4; ++k) {
    g.save();
    g.translate(120, 200);
    g.rotate(-24 + 16 * k);
    g.drawPixmap(QRect(-36, -150, 71, 96), cards.picture(fan[k]));
    g.restore();
  }
  g.drawPixmap(QRect(20, 100, 200, 43), ombrix::widgets::logo());
  g.end();
  QFile out(argv[1]);
  const QByteArray jpeg = ombrix::ui::encodeJpeg(image, 85);
  return jpeg.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size() ? 1 : 0;
}
