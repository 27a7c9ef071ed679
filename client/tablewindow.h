// Tchat: the table window. It holds the client connection to the host,
// queues and dispatches what the host announces, shows the table from the
// local seat's point of view, the local hand and the chat pane, and sends the
// local player's requests. It decides nothing about the game itself.
//
// It is the view of the table's model (client/tablemodel.h): a command off
// the queue is read once into an event, the model takes it in, and the
// window, the game record, the hint, the mute list and the keys observe it.
// Its own state is private; every element carries its name as its object
// name (label_bid3, card7, edit_bid), so that a helper or a test finds it as
// a player would see it.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ai/decision.h"
#include "client/inprocesshost.h"
#include "client/tableconnection.h"
#include "client/tablemodel.h"
#include "client/tableview.h"
#include "net/qttimers.h"
#include "ui/cardlabel.h"

class QTextEdit;
class QLineEdit;
class QPushButton;
class QTimer;
class QAction;
class QMenu;
class QToolButton;

namespace ombrix {
namespace windows {
class Tscore;
class Tlasttrick;
class Tspylist;
class Ttallylist;
class Tphrases;
class Thelp;
class Tabout;
class Tdownload;
class Tstart;
class Tcarddeck;
}  // namespace windows
}  // namespace ombrix

namespace ombrix::client {

class TableKeys;
class TableAccess;
class TableHint;
class TableMotion;
class MuteList;
class GameRecord;
class InProcessHost;

class Tchat : public QMainWindow, public TableView, private TableObserver {
 public:
  static constexpr unsigned kNoticeColour = 0x804000;  // 0x00BBGGRR
  // The window at the design size, and the table area within its panel.
  static constexpr QSize kDesignWindow{790, 520};
  static constexpr QRect kTableArea{1, 1, 782, 474};

  Tchat();
  ~Tchat() override;

  // What start-up and the tests set before the connection opens.
  QString myName;                     // the local player's name
  QString hostAddress = "127.0.0.1";  // where a join connects
  std::string hostPort = "7772";      // where hosting listens; tests take "0", any free port
  QString settingsFile;               // "quarrowlobby.ini", where ui/userfiles.h puts it
  std::function<void()> onClosed;     // run instead of closing the program at the connection's end (tests)

  // The help and about windows, handed over once they exist.
  void attachHelp(windows::Thelp* help, windows::Tabout* about);
  // The lobby download window, offered when a solo game starts (and from Help).
  void attachDownload(windows::Tdownload* download);
  // The first window of a solo start when Ombrix Lobby is installed beside
  // the game: play solo, play with others, resume.
  void attachStart(windows::Tstart* start);
  // The windows created after this one, handed over once they exist.
  void attach(windows::Tscore* score, windows::Tlasttrick* lastTrick, windows::Tspylist* spies,
              InProcessHost* host, windows::Ttallylist* tally = nullptr,
              windows::Tphrases* phrases = nullptr);

  // --- What the table knows and keeps ------------------------------------------
  const TableModel& model() const override { return model_; }
  const GameRecord& gameRecord() const { return *gameRecord_; }
  TableKeys& keys() const { return *keys_; }
  TableAccess& access() const { return *access_; }
  MuteList& mutes() const { return *mutes_; }
  TableHint& hint() const { return *hint_; }
  TableMotion& motion() const { return *motion_; }
  bool isHost() const { return isHost_; }
  // The host's player: this table hosts, or it holds slot 1 at a headless
  // host, whose requests the host obeys as the host player's.
  bool hostPlayer() const { return isHost_ || model_.mySeat() == 1; }
  // What playsounds was asked lately, newest last (the last kSoundsKept).
  static constexpr size_t kSoundsKept = 64;
  const std::deque<QString>& soundsPlayed() const { return soundsPlayed_; }
  bool phraseReady() const { return phraseReady_; }
  uint32_t textColor() const { return textColor_; }
  ai::Skill botSkill() const { return botSkill_; }
  // The connection to the host: the socket, the queue and its dispatch, a
  // dropped line dialled again, the lobby link (client/tableconnection.h).
  TableConnection& connection() { return *conn_; }
  const TableConnection& connection() const { return *conn_; }

  // --- Start-up and connection --------------------------------------------------
  void processparams(const QStringList& params);
  void hostpress();
  // A solo game hosts here: the saved one taken up (`resume`) or put away, then hostpress.
  void startSolo(const std::optional<SavedGame>& saved, bool resume);
  void joinpress();

  // --- Dispatch --------------------------------------------------------------------
  // Runs the next queued command now, if one waits (tests drive the queue
  // by hand through this).
  void processsocktimer() { conn_->dispatchNext(); }
  void addlinetochat(const QString& text, unsigned colour = kNoticeColour);
  void notice(const QString& text) override { addlinetochat(text); }
  void playsounds(const QString& name);

  // --- Chat, phrases and sounds ---------------------------------------------------
  void sendit();
  // Shared handlers are named for what they serve, not for one of their elements.
  void phraseButtonClick(QToolButton* button);  // b_phrase1 to b_phrase9: the button's phrase
  void soundsButtonClick();                     // b_phrase10: the chatter sounds' menu
  void ChatterSoundClick(int number);           // popup_sounds: Cancel1 (0), wave1 to wave12
  void TextColor1Click();
  // The colour chosen for this player's lines (0x00BBGGRR), kept in the settings.
  void setTextColor(uint32_t colour);
  void ActionColor1Click();
  void TextSizeClick(int points);  // N8, N10, N12, N14
  void Copy1Click();
  void Paste1Click();
  void ScrollChatOff1Click();
  void ClearMainChat1Click();
  void PhraseList1Click();
  void phraseTick();            // one dispatch tick of the phrase cooldown
  QString phrase(int n) const;  // the tooltip of b_phrase<n>
  void setPhrase(int n, const QString& text);
  // The phrase editor's "Done": the buttons take the texts, the file keeps them.
  void phrasesDone(const std::array<QString, 10>& texts);

  // --- Settings and options -------------------------------------------------------
  void loadinifile();
  // Writes the options, once they were read; a file that cannot be written
  // is told in the chat pane. False when nothing was written.
  bool saveinifile();
  void PlaySounds1Click();
  void PlayChatterSounds1Click();
  void TurnSoundClick(int number);  // Classic1 (0), New1 (1)
  void BotSpeedClick(int ms);       // Slow1 (1000), Normal1 (750), Fast1 (500)
  void ComputerPlayers1Click(ai::Skill skill);
  void houseRules(const ev::RulesTold& e);
  void ShowScorecard1Click();
  void scontopClick();
  void ltontopClick();
  void ResetScreenLocation1Click();
  // Options > "Animate Cards": the deal, the plays, the tricks and the trump move.
  void AnimateCards1Click();
  // View > "Card Deck": the window of decks, previewed.
  void CardDeck1Click();
  // The chat tells once that a deck gave way to another.
  void tellDeck(const QString& deck);
  // The table's cards from these decks from now on (the faces, the back),
  // kept in the settings file when `keep`; a deck that is not there or does
  // not read gives way to the next, said once in the chat.
  void useDeck(const QString& faces, const QString& back, bool keep);
  // View > "Full Screen" (F11), and back.
  void FullScreen1Click();
  // File > "Save Game Record…": asks where, then saveGameRecord.
  void SaveGameRecord1Click();
  // Writes what this table saw of the game to `path`; a failure is told in a
  // message box.
  bool saveGameRecord(const QString& path);
  // The tally list's "Players In Current Game": the seats' names but the
  // player's own, without "<Waiting>".
  void loadchecklist();

  // --- User actions ----------------------------------------------------------
  void button_startClick();
  void StartHalfGame1Click();
  void button_bidClick() override;
  void JustWatch1Click();
  void kicking(int target);
  void cardimagesMouseDown(CardImage* card, Qt::MouseButton button) override;
  // "Hint": the Strong player's advice for the local player (client/tablehint.h).
  void Hint1Click();
  // Sorts the hand by card number (a right click on a card does).
  void sortthem();
  // On the player's turn the cards that may not be played are dimmed.
  void markPlayable();

  // --- The table as it is drawn ---------------------------------------------------
  // The element of a family for a host seat (label_bid + 3), after mapping.
  template <class T = QWidget>
  T* el(const char* family, int seat) const {
    return findChild<T*>(QString(family) + QString::number(seat));
  }
  QString caption(int seat) const override;
  // The local hand: every card image, and the same from left to right.
  std::vector<CardImage*> cardImages() const override;
  std::vector<CardImage*> handInOrder() const override;
  CardImage* cardImage(int position) const override;
  // What the helpers pass each other through the window (client/tableview.h).
  QWidget& surface() override { return *this; }
  CardImage* markedCard() const override;
  void refreshNames() override;
  // Asks for every card picture at the size the table shows them, ahead of
  // the deal (they are drawn on a thread of their own): at a solo start and
  // when a game starts or is found, not for a table that only looks in.
  void prepareCards();
  // A notice of the in-process host ("Card does't exist"), shown without
  // stopping the dispatch; a text already showing is not shown twice.
  void hostNotice(const QString& text);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;

 private:
  void buildTable();
  void buildMenus();
  void buildChat();
  // Lays the table and the chat out for the panel's size: the table as one
  // picture by one factor, centred; the chat column beside it.
  void layoutTable();
  void layoutChat(qreal s, QPoint offset);
  void applyTextSize(int points);
  // Writes keys of the game's section; a failure is told in the chat pane.
  bool storeSettings(const std::vector<std::pair<QString, QString>>& keys);
  // The bot speed's number and check marks; sent to the host when asked to.
  void useBotSpeed(int ms, bool tellHost);
  // The computer players' skill and its check marks; sent to the host when asked to.
  void useBotSkill(ai::Skill skill, bool tellHost);
  void HouseRules1Click(const rules::Rules& r);
  // Shows `r` in the menu; tells the host when asked to.
  void useHouseRules(const rules::Rules& r, bool tellHost);
  // The menu is slot 1's, between games.
  void enableHouseRules();
  bool eventFilter(QObject* o, QEvent* e) override;
  // One command off the connection's queue, read once into an event; a
  // muted player's line, action or chatter sound goes no further.
  void runCommand(const std::string& entry);
  void closeTable();
  // The host sent more than the queue keeps: told, and the table closes.
  void hostFlooded();
  // A new connection after a dropped line: the table as one that has just
  // opened, its view turned back to where the first connection found it,
  // so that the host's numbers turn it as they would a new table.
  void resetForNewConnection();
  void showStartControls();
  void setBidBoxVisible(bool on);
  void drawFan(int seat);
  bool send(const TableRequest& request) { return conn_->send(request); }
  // myName as the host knows it: the single-byte text the table sends.
  QString wireName() const;

  // Seat mapping and the hand.
  void sortstuff(int seat);
  void movestuff(int from, int to);
  void turnBack();  // undoes every sortstuff of this connection
  void createcard(int position, int card);
  void movecards(int position);
  void removeHand();
  // The seat whose card takes the complete trick on the table.
  int trickTaker() const;

  // The window's part of each event, by the handler names of the commands.
  void before(const TableEvent& e) override;
  void after(const TableEvent& e) override;
  void sendloginfo(const ev::LogIn& e);
  void newplayerinfo(const ev::Arrived& e);
  void playerdisconnected(const ev::Departed& e);
  void newplayerstuff(const ev::SeatFound& e);
  void stats(const ev::GameFound& e);
  void justwatching(const ev::JustWatching& e);
  void startthegame(const ev::GameStarted& e);
  void startround(const ev::RoundStarted& e);
  void trump(const ev::Trump& e);
  void mybid(const ev::BidAsked& e);
  void hisbid(const ev::BidMade& e);
  void getnextplayer(const ev::Turn& e);
  void trickwinner(const ev::TrickTaken& e);
  void scoreit(const ev::Scored& e);
  void winner(const ev::GameOver& e);
  void placecard(const ev::Dealt& e);
  void playcard(const ev::CardPlayed& e);
  void needsuit();
  void chatReceived(const ev::Line& e);
  void playasound(const ev::Sound& e);
  void unreadable(const ev::Unreadable& e);
  void full();

  TableModel model_;
  std::unique_ptr<GameRecord> gameRecord_;  // hears every event after the window
  // Keyboard play, the screen reader's names, muted players, the hint.
  std::unique_ptr<TableAccess> access_;
  std::unique_ptr<TableKeys> keys_;
  std::unique_ptr<MuteList> mutes_;
  std::unique_ptr<TableHint> hint_;
  std::unique_ptr<TableMotion> motion_;  // cards in flight over the table
  bool isHost_ = false;
  QString departing_;  // the caption of a seat whose player is leaving, as it was

  struct HandSlot {
    bool free = true;
    int handPosition = -1;
  };
  std::array<HandSlot, 11> handSlots_{};  // [1..10], the hand from left to right

  std::unique_ptr<TableConnection> conn_;
  net::QtTimerFactory timers_;
  std::unique_ptr<Timer> phraseTimer_;  // ticks while a phrase cools down
  std::deque<QString> soundsPlayed_;

  // Chat state.
  uint32_t textColor_ = 0x000000, actionColor_ = 0x000000;  // 0x00BBGGRR
  int textSize_ = 8;         // the chat's points at the design size, as kept in the settings
  qreal chatScale_ = 1;      // the factor the chat column is shown at
  qreal inputPoints_ = 9;    // the input line's points at the design size
  bool phraseReady_ = true;
  int phraseTicks_ = 0;
  // Options.
  int turnSound_ = 0;   // 0 Classic, 1 New
  int botSpeed_ = 750;  // ms
  ai::Skill botSkill_ = ai::Skill::Classic;
  rules::Rules houseRules_;
  bool houseRulesChosen_ = false;     // stored or picked: only then saved and told to the host
  bool gameRunning_ = false;          // between a game's start (or joining one) and its winner
  bool botSkillChosen_ = false;        // stored or picked: only then saved and told to the host
  QString scontopText_, ltontopText_;  // as stored: empty until read or changed
  QRect storedGeometry_{3, 3, 790, 520};
  QRect geometryBeforeFullScreen_;
  bool maximizedBeforeFullScreen_ = false;
  // Set once loadinifile ran: a table never seated has only the built-in
  // options, which must not replace the player's stored ones.
  bool settingsRead_ = false;

  QWidget *panel_main, *tableArea;
  QTextEdit* mainchat;
  QLineEdit* edit_bid;
  QPushButton *button_bid, *button_start, *button_starthalf, *button_scorecard, *button_lasttrick;
  QLabel *label_bidcaption, *label_round, *label_totalbids, *label_turn, *label_status1, *label_status2,
      *label_end, *label_firstplay;
  ui::CardLabel* trumpcard;
  QWidget* updown_bid;
  QLineEdit* mychat = nullptr;
  std::array<QToolButton*, 11> b_phrase{};  // [1..10]
  QAction *StartGame1 = nullptr, *StartHalfGame1 = nullptr, *JustWatch1 = nullptr, *SaveGameRecord1 = nullptr,
          *Hint1 = nullptr;
  QAction *PlaySounds1 = nullptr, *PlayChatterSounds1 = nullptr, *Classic1 = nullptr, *New1 = nullptr,
          *Slow1 = nullptr, *Normal1 = nullptr, *Fast1 = nullptr, *SkillClassic1 = nullptr,
          *SkillStandard1 = nullptr, *SkillStrong1 = nullptr, *ShowScorecard1 = nullptr, *scontop = nullptr,
          *ltontop = nullptr, *ScrollChatOff1 = nullptr, *ScrollChatOff2 = nullptr, *ClearMainChat1 = nullptr,
          *ClearMainChat2 = nullptr, *ResetScreenLocation1 = nullptr, *FullScreen1 = nullptr,
          *AnimateCards1 = nullptr;
  // Options > House Rules: slot 1 chooses between games.
  QMenu* HouseRules1 = nullptr;
  QAction *HookRule1 = nullptr, *ScoringDesign1 = nullptr, *ScoringTricks1 = nullptr, *ScoringPenalty1 = nullptr,
          *RoundsUpDown1 = nullptr, *RoundsDownUp1 = nullptr;
  std::array<QAction*, 4> textSizes{};  // N8, N10, N12, N14
  QMenu *popup_kick = nullptr, *popup_sounds = nullptr, *PopupMenu1 = nullptr, *PopupMenu2 = nullptr;

  windows::Tscore* score = nullptr;
  windows::Tlasttrick* lastTrick = nullptr;
  windows::Tspylist* spies = nullptr;
  windows::Ttallylist* tally = nullptr;
  windows::Tphrases* phrases = nullptr;
  windows::Thelp* help = nullptr;
  windows::Tabout* about = nullptr;
  windows::Tdownload* download = nullptr;
  windows::Tstart* start = nullptr;
  windows::Tcarddeck* cardDeck = nullptr;  // made when first asked for
  QString deckFaces_, deckBack_;           // the decks chosen or read; empty: none
  QStringList decksSaid_;                  // decks the chat told of already
  InProcessHost* host = nullptr;

  int kickTarget_ = 0;
  bool chatStarted_ = false;  // the pane holds a line: the next one starts a new paragraph
  bool closing_ = false;
  bool fullBoxOpen_ = false;  // a box ("The Game is full") waits for its OK before the close
  bool seatedAgain_ = false;  // the settings were read on a connection before this one
  int turned_ = 0;            // places the seats were turned by this connection's numbers
  // A resumed solo game's score card rows, filled in once the table finds the game.
  std::vector<std::array<int, 5>> resumedRows_;
  QStringList noticesShowing_;
};

}  // namespace ombrix::client
