// The game's own pictures, drawn in code so that the repository carries no
// binary art: the tiled table background, the turn arrow, the just-watch
// eyes, the winner and trick-winner marks and the picture buttons' faces.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QPainter;

namespace ombrix::widgets {

QPixmap backgroundTile();
QPixmap turnArrow();   // 27 x 44
QPixmap watchEyes();   // 24 x 17
QPixmap winnerMark();  // 82 x 88
QPixmap trickMark();   // 32 x 41
QPixmap buttonFace(const QString& text, QSize size = {91, 28});
// The game's name as a picture, 280 x 60: the table's logo and the about window's.
QPixmap logo();
// The phrase buttons' faces: a speech bubble, or a speaker for the sounds.
QPixmap phraseFace(bool sound);

// The program's icon, in vector strokes only (so it can be written as SVG):
// a fan of cards on the table's cloth, the front one with the logo's
// initial and its four suit dots. Painted into the square (0, 0, side, side).
void paintIcon(QPainter& g, qreal side);
// The same as a window icon, at the sizes desktops ask for.
QIcon appIcon();

// A panel whose background is the tiled picture over the table colour.
class BackgroundPanel : public QWidget {
 public:
  explicit BackgroundPanel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent*) override;
};

}  // namespace ombrix::widgets
