// Tchat: the table window. It holds the client connection to the host,
// queues and dispatches what the host announces, shows the table from the
// local seat's point of view, the local hand and the chat pane, and sends the
// local player's requests. It decides nothing about the game itself.
//
// Every element carries its name as its object name (label_bid3, card7,
// edit_bid), so that a test finds it as a player would see it.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "net/asyncsock.h"
#include "protocol/framing.h"

class QTextEdit;
class QLineEdit;
class QPushButton;
class QTimer;
class QAction;
class QMenu;

namespace ombrix {
class HostWindow;
namespace windows {
class Tscore;
class Tlasttrick;
class Tspylist;
class Ttallylist;
}  // namespace windows
}  // namespace ombrix

namespace ombrix::client {

class CardImage;

class Tchat : public QMainWindow {
 public:
  static constexpr unsigned kNoticeColour = 0x804000;  // 0x00BBGGRR

  Tchat();
  ~Tchat() override;

  // The windows created after this one, handed over once they exist.
  void attach(windows::Tscore* score, windows::Tlasttrick* lastTrick, windows::Tspylist* spies,
              HostWindow* host, windows::Ttallylist* tally = nullptr);

  // --- Start-up and connection --------------------------------------------------
  void processparams(const QStringList& params);
  void hostpress();
  void joinpress();

  // --- Connection and dispatch ---------------------------------------------------
  void sockRead();
  void sockInfo(net::TSocketInfo info, const std::string& msg);
  void processsocktimer();
  void addlinetochat(const QString& text, unsigned colour = kNoticeColour);
  void playsounds(const QString& name);
  // The tally list's "Players In Current Game": the seats' names but the
  // player's own, without "<Waiting>".
  void loadchecklist();

  // --- User actions ----------------------------------------------------------
  void button_startClick();
  void StartHalfGame1Click();
  void button_bidClick();
  void JustWatch1Click();
  void kicking(int target);
  void cardimagesMouseDown(CardImage* card, Qt::MouseButton button);

  // --- Seat mapping and the hand ------------------------------------------------
  void sortstuff(int seat);
  void movestuff(int from, int to);
  void createcard(int position, int card);
  void sortthem();
  void movecards(int position);
  void removeHand();
  std::vector<CardImage*> cardImages() const;
  CardImage* cardImage(int position) const;

  // The element of a family for a host seat (label_bid + 3), after mapping.
  template <class T = QWidget>
  T* el(const char* family, int seat) const {
    return findChild<T*>(QString(family) + QString::number(seat));
  }
  QString caption(int seat) const;

  // --- State ----------------------------------------------------------------------
  int mySeat = 0;
  bool loggedIn = false, isHost = false;
  QString myName, hostAddress = "127.0.0.1";
  std::string hostPort = "7772";  // where hosting listens; tests take "0", any free port
  std::array<QString, 5> defaultNames = {"", "You", "Reza", "Vivav", "Derev"};
  int turnSeat = 0, shownRound = 0, bidLimit = 0, trumpShown = 0, ledCard = 0;
  bool myTurn = false;
  std::array<int, 5> playedCard{}, cardCount{};
  struct HandSlot {
    bool free = true;
    int handPosition = -1;
  };
  std::array<HandSlot, 11> handSlots{};  // [1..10]

  net::TAsyncSock sock;    // to the host, port 7772
  net::TAsyncSock Sock11;  // the lobby link, opened and never used
  std::deque<std::string> receivedlist;
  QTimer* Timer1;
  std::vector<QString> soundsPlayed;  // what playsounds was asked, newest last

  QWidget *panel_main, *tableArea;
  QTextEdit* mainchat;
  QLineEdit* edit_bid;
  QPushButton *button_bid, *button_start, *button_starthalf, *button_scorecard, *button_lasttrick;
  QLabel *label_bidcaption, *label_round, *label_totalbids, *label_turn, *trumpcard, *label_status1,
      *label_status2, *label_end, *label_firstplay;
  QWidget* updown_bid;
  QAction *StartFullGame1, *StartHalfGame1, *JustWatch1;
  QMenu* popup_kick;

  windows::Tscore* score = nullptr;
  windows::Tlasttrick* lastTrick = nullptr;
  windows::Tspylist* spies = nullptr;
  windows::Ttallylist* tally = nullptr;
  HostWindow* host = nullptr;
  // Shown instead of closing the program when the connection ends (tests).
  std::function<void()> onClosed;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;

 private:
  void buildTable();
  void buildMenus();
  void dispatch(const std::string& entry);
  void closeTable();
  void setBidBoxVisible(bool on);
  void drawFan(int seat);
  void send(const std::string& message);

  // Handlers, by the command they answer.
  void sendloginfo(const QString& d);
  void newplayerinfo(const QString& d);
  void playerdisconnected(const QString& d);
  void newplayerstuff(const QString& d);
  void stats(const QString& d);
  void justwatching(const QString& d);
  void startthegame(const QString& d);
  void startround(const QString& d);
  void trump(const QString& d);
  void mybid(const QString& d);
  void hisbid(const QString& d);
  void getnextplayer(const QString& d);
  void trickwinner(const QString& d);
  void scoreit(const QString& d);
  void winner(const QString& d);
  void placecard(const QString& d);
  void playcard(const QString& d);
  void needsuit(const QString& d);
  void chatrecieved(const QString& d);

  wire::Framer remainder_;
  int kickTarget_ = 0;
  bool closing_ = false;
};

// One card of the local hand.
class CardImage : public QLabel {
 public:
  CardImage(QWidget* parent, int position, int card);
  int handPosition, card;
  std::function<void(CardImage*, Qt::MouseButton)> onPress;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
};

}  // namespace ombrix::client
