// Writes the program's icon for the desktop's hicolor theme, drawn by the
// game's own art (widgets/art.*):
//   make_icons OUTDIR NAME
// makes OUTDIR/scalable/apps/NAME.svg and OUTDIR/<n>x<n>/apps/NAME.png.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "widgets/art.h"

namespace {
// The sizes desktops and software centres look for.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// The SVG's own square, in its user units.
constexpr int kSvgSide = 64;
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icons OUTDIR NAME\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString name = QString::fromLocal8Bit(argv[2]);

  const QString svgFolder = out.filePath("scalable/apps");
  if (!QDir().mkpath(svgFolder)) return 1;
  QSvgGenerator svg;
  svg.setFileName(svgFolder + "/" + name + ".svg");
  svg.setSize(QSize(kSvgSide, kSvgSide));
  svg.setViewBox(QRect(0, 0, kSvgSide, kSvgSide));
  svg.setTitle("Ombrix");
  svg.setDescription("The Ombrix card game");
  {
    QPainter g(&svg);
    ombrix::widgets::paintIcon(g, kSvgSide);
  }

  for (int side : kSizes) {
    const QString folder = out.filePath(QString("%1x%1/apps").arg(side));
    if (!QDir().mkpath(folder)) return 1;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter g(&image);
      ombrix::widgets::paintIcon(g, side);
    }
    if (!image.save(folder + "/" + name + ".png")) return 1;
  }
  return 0;
}
