// Cards on their way across the table, drawn over it.
//
// The table already shows every card where it lands: the model, the keys,
// the screen reader and the tests see the table as it is. A card in flight
// is only a picture over it, and the place it lands on is veiled until
// every card bound there has arrived (a fan appears whole when its last
// card comes). Flights work in the table's design coordinates, so a resize
// in mid-flight only redraws them larger.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/cardlabel.h"

namespace ombrix::client {

class Flights : public QWidget {
 public:
  enum class Kind { Deal, Play, Gather, Turn };
  struct Flight {
    Kind kind = Kind::Play;
    int card = 0;     // its picture: 0 the back, 1..52 a face
    QRect from, to;   // in the table's design coordinates
    int delayMs = 0;  // before it leaves
    int durationMs = 0;
    QPointer<ui::CardLabel> lands;  // veiled until the card arrives (may be none)
    bool flip = false;  // turned over on its way: the back, then the face
    bool fade = false;  // fades as it arrives (a trick gathered to its winner)
  };
  // Frames are drawn this often while a card flies.
  static constexpr int kFrameMs = 15;

  explicit Flights(QWidget* tableArea);
  void launch(const Flight& f);
  // Every flight of these kinds at its end now (a new event moves its cards).
  void land(std::initializer_list<Kind> kinds);
  void landAll();
  bool flying() const { return !flights_.empty(); }
  // Milliseconds until the last flight of this kind arrives (0: none flies).
  int remainingMs(Kind kind) const;
  // After each frame drawn (the benchmark times them).
  std::function<void()> onFrame;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  struct Active {
    Flight f;
    qint64 start = 0;  // ms on clock_
    bool arrived = false;
  };
  QRectF where(const Active& a, qint64 now) const;  // in design coordinates
  QRect onScreen(const QRectF& design) const;
  void tick();
  void settle();  // lands what has arrived, and unveils its places
  void updateAround(const Active& a, qint64 now);

  std::vector<Active> flights_;
  QElapsedTimer clock_;
  QTimer timer_;
};

}  // namespace ombrix::client
