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

// Each picture is drawn at its design size times `scale`, in pixels of a
// screen of ratio `dpr`: crisp at any size the window shows it.
QPixmap backgroundTile();
QPixmap turnArrow(qreal scale = 1, qreal dpr = 1);   // 27 x 44
QPixmap watchEyes(qreal scale = 1, qreal dpr = 1);   // 24 x 17
QPixmap winnerMark(qreal scale = 1, qreal dpr = 1);  // 82 x 88
QPixmap trickMark(qreal scale = 1, qreal dpr = 1);   // 32 x 41
QPixmap buttonFace(const QString& text, QSize size = {91, 28}, qreal scale = 1, qreal dpr = 1);
// The game's name as a picture, 280 x 60: the table's logo and the about window's.
QPixmap logo(qreal scale = 1, qreal dpr = 1);
// The phrase buttons' faces: a speech bubble, or a speaker for the sounds (21 x 15).
QPixmap phraseFace(bool sound, qreal scale = 1, qreal dpr = 1);

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
