// Controls that keep their look at any size a window shows them: a caption
// that never clips its text, a picture drawn in code at the label's size,
// and the picture buttons of the table.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <functional>

namespace ombrix::widgets {

// A caption whose text always shows whole: text wider than the label (a
// long name, a large system font) is drawn smaller until it fits.
class FitLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// A picture drawn in code (widgets/art.h) at the label's size on the screen.
class ArtLabel : public QLabel {
 public:
  using Art = std::function<QPixmap(qreal scale, qreal dpr)>;
  ArtLabel(QWidget* parent, QSize design, Art art);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  QSize design_;
  Art art_;
};

// A picture button: its face drawn with its caption at the button's size.
class PictureButton : public QPushButton {
 public:
  PictureButton(QWidget* parent, const QString& caption, QSize design);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  QString caption_;
  QSize design_;
};

}  // namespace ombrix::widgets
