// The card pictures: 0 the back, 1..52 the faces in the card numbering,
// drawn from an SVG deck (ui/carddecks.h) at the size they take on the
// screen times the screen's pixel ratio, never scaled from a smaller one.
//
// Decks differ a hundredfold in what a card costs (a few milliseconds to
// seconds for the whole deck), so the SVG is read and drawn on a thread of
// its own: a size asked for the first time is drawn there, the card asked
// for first, then the rest of the deck at that size. Until a picture is
// ready, the nearest size already drawn stands in (drawn scaled by whoever
// shows it), or, before any, a plain card drawn in code. Whoever shows a
// stand-in is told when the real picture comes (onRendered). Pictures are
// kept per size; a few sizes of the current deck are kept, older ones go.
#pragma once

#include <QHash>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ui/carddecks.h"

class QObject;

namespace ombrix::ui {

class CardPictures {
 public:
  // The design size of a card on the table.
  static constexpr int kWidth = 71, kHeight = 96;
  static CardPictures& instance();

  // The faces and the back the table shows, by deck id (ui/carddecks.h).
  struct Style {
    QString faces, back;
    bool operator==(const Style&) const = default;
  };
  const Style& style() const { return style_; }
  // Changes what every picture shows from now on; the pictures of the old
  // style go. A deck that cannot be read is told through onDeckFailed.
  void setStyle(const Style& style);
  // The decks installed on this machine, read once.
  const std::vector<CardDeck>& decks();
  // The deck of that id when it is installed, else the default deck, else
  // the first installed, else the cards drawn in code.
  QString installed(const QString& id);
  // Draws every card in code from now on (no SVG read at all): the tests'
  // table, where pictures do not matter.
  void useDrawnCards() { setStyle({kDrawnDeck, kDrawnDeck}); }

  // The picture of card n (0 the back) `size` device-independent pixels
  // large, on a screen of pixel ratio `dpr`. `exact` tells whether it is the
  // picture at that size or a stand-in to be drawn scaled.
  QPixmap picture(int n, QSize size, qreal dpr, bool* exact = nullptr);
  // The same in another style (a preview of a deck not chosen yet).
  QPixmap picture(const Style& style, int n, QSize size, qreal dpr, bool* exact = nullptr);
  // Asks for every card at that size ahead of its use.
  void prepare(QSize size, qreal dpr);
  // Every card of the current style at that size is drawn.
  bool ready(QSize size, qreal dpr) const;
  // While held, the drawing thread takes no new card: what is asked for
  // meanwhile is queued, and the stand-ins stay. Lets a look at the
  // stand-ins (a test's) not race the thread.
  void holdDrawing(bool hold);

  // Told (on the window's thread, a few at a time) when pictures arrived:
  // whoever showed a stand-in asks again. The returned number removes it.
  int onRendered(std::function<void()> f);
  void removeListener(int id);
  // Told once for each deck that could not be read: its id.
  std::function<void(const QString& deck)> onDeckFailed;

  // A plain card in code: the picture before any deck is read, and when
  // none is installed.
  static QPixmap drawnCard(int n, QSize size, qreal dpr);

  ~CardPictures();

 private:
  CardPictures();
  struct Worker;
  struct Set {  // one style at one size in device pixels
    std::array<QPixmap, 53> cards;
    int count = 0;
    uint64_t used = 0;  // for keeping the sizes used last
  };
  using Key = std::pair<QString, QSize>;  // style key, pixels
  struct KeyLess {
    bool operator()(const Key& a, const Key& b) const;
  };
  QString keyOf(const Style& s) const { return s.faces + "|" + s.back; }
  const CardDeck* deck(const QString& id);
  void want(const Style& style, QSize pixels, qreal dpr, int n);
  void delivered(uint64_t generation, const Style& style, QSize pixels, int n, const QImage& image);
  void failed(uint64_t generation, const QString& deck);
  void trim();
  void notifySoon();

  Style style_{kDefaultDeck, kDefaultDeck};
  std::vector<CardDeck> decks_;
  bool decksRead_ = false;
  std::map<Key, Set, KeyLess> sets_;
  uint64_t useClock_ = 0;
  uint64_t generation_ = 0;
  std::unique_ptr<Worker> worker_;
  QObject* receiver_ = nullptr;  // deliveries arrive on the window's thread through it
  std::map<int, std::function<void()>> listeners_;
  int nextListener_ = 1;
  bool notifyQueued_ = false;
  QStringList failedDecks_;
};

}  // namespace ombrix::ui
