#include "windows/helpform.h"

#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>

#include "widgets/art.h"
#include "ui/designscale.h"

namespace ombrix::windows {

namespace {

constexpr int kWidth = 520, kHeight = 380;

const char* const kOverview =
    "<p><b>Ombrix</b> is a card game for four players. In a solo game the other three seats are "
    "played by the computer.</p>"
    "<p>Before each round every player bids exactly how many tricks he will take. A trick goes to "
    "the highest trump in it, or, without a trump, to the highest card of the suit led.</p>"
    "<p>A full game has 20 rounds; the highest total score wins.</p>";
const char* const kConnecting =
    "<p>A solo game needs no network: it runs on this computer alone.</p>"
    "<p>Games with other people start from the Ombrix Lobby (in the menu beside the game, or "
    "<b>Play with Others</b> when a solo game starts). It lists the tables on your network: "
    "<b>Host a Table</b> opens one, <b>Join</b> sits at one, and <b>Join by address</b> reaches a "
    "table the list cannot show (port 7772 unless you add <b>:PORT</b>).</p>"
    "<p>Across the internet every player's lobby uses a lobby server: someone runs "
    "<b>ombrix-lobbyd</b> on a machine the internet reaches, with TCP port 7773 open. The host "
    "sets it as <b>Lobby server</b> and presses Host a Table; <b>Copy</b> copies the invite, the "
    "server and the table's code. Friends paste it into <b>Join by code</b>. The host needs no "
    "open port: players the server cannot send straight to the table come through its relay.</p>"
    "<p>A dropped line is not the end: the table connects again by itself for a minute and you "
    "sit again in your seat with your hand; the computer plays it meanwhile. When the host's own "
    "game closes, the game ends for everyone.</p>";
const char* const kGamePlay =
    "<p>Round 1 deals one card to each player, round 2 two cards, and so on up to ten cards in "
    "rounds 10 and 11; from round 12 the hands shrink again, to one card in round 20. A half game "
    "plays the first ten rounds.</p>"
    "<p>After the deal the next card is turned up: its suit is trump for the round.</p>"
    "<p>Bidding starts with the player to the left of the dealer; a bid is any number from 0 up to "
    "the number of cards in the hand.</p>"
    "<p>You must follow the suit led if you can; otherwise play any card. The winner of a trick "
    "leads the next one.</p>";
const char* const kScoring =
    "<p>Take exactly the tricks you bid and you score 10 plus your bid; a bid of 0 made scores 5.</p>"
    "<p>Take more or fewer and you score nothing for the round.</p>"
    "<p>The player with the highest total at the end of the game wins; equal totals share the win.</p>"
    "<p><b>House rules.</b> The host of a table may choose them between games (Options &gt; House "
    "Rules for the first seat, or <b>--rules</b> on the host's command line); the status line, the "
    "score card's title and the game record name those in force.</p>"
    "<ul><li><b>The hook:</b> the last to bid may not bid the number that makes the bids total the "
    "cards in the hand, so someone always misses.</li>"
    "<li><b>Scoring by tricks:</b> a point for every trick taken, and 10 more for an exact bid (a "
    "bid of 0 made scores 10).</li>"
    "<li><b>Scoring with penalties:</b> an exact bid scores 10 plus twice the bid; a miss loses "
    "twice the difference, so a total can fall below zero.</li>"
    "<li><b>Rounds down then up:</b> ten cards in round 1 down to one in round 10, then back up "
    "to ten in round 20; a half game plays the first ten.</li></ul>";
const char* const kLicense =
    "<p><b>Licence</b></p>"
    "<p>Ombrix is given to you as it is, without any warranty. You may play it, copy it and give "
    "it away, but not sell it.</p>"
    "<p>The card pictures are the KDE games card decks, used under their own licence.</p>";

struct Page {
  const char* button;
  int tag;
  const char* text;  // null: no page (the About button)
};
const Page kPages[] = {{"Overview", 1, kOverview},  {"Connecting", 2, kConnecting},
                       {"Game Play", 3, kGamePlay}, {"Scoring", 4, kScoring},
                       {"License", 10, kLicense},   {"Documentation", 9, ""},
                       {"About", 10, nullptr}};

}  // namespace

Thelp::Thelp(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName("Thelp");
  setWindowTitle("Ombrix Help File");
  resize(kWidth, kHeight);
  ui::designFill(new widgets::BackgroundPanel(this));
  QFont bold("Arial");
  bold.setPixelSize(17);
  bold.setBold(true);
  label_caption = new QLabel("Overview", this);
  label_caption->setObjectName("label_caption");
  label_caption->setFont(bold);
  label_caption->setGeometry(130, 8, 300, 24);
  int k = 0;
  for (const Page& page : kPages) {
    auto* b = new QPushButton(page.button, this);
    b->setObjectName("SelButton" + QString::number(++k));
    b->setProperty("Tag", page.tag);
    b->setGeometry(10, 36 + 34 * (k - 1), 105, 28);
    if (!page.text) {
      connect(b, &QPushButton::clicked, this, [this] {
        if (SelButton7Click) SelButton7Click();
      });
      continue;
    }
    auto* m = new QTextBrowser(this);
    m->setObjectName("memo" + QString::number(page.tag));
    m->setHtml(page.text);
    m->setGeometry(130, 36, kWidth - 140, kHeight - 86);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m->hide();
    memo[page.tag] = m;
    connect(b, &QPushButton::clicked, this, [this, b] { SelButton1Click(b); });
  }
  memo[1]->show();
  auto* credit = new QLabel("Ombrix 1.0 - by the Ombrix developers", this);
  credit->setGeometry(130, kHeight - 40, 260, 20);
  auto* done = new QPushButton("Done", this);
  done->setObjectName("FlatButton1");
  done->setGeometry(kWidth - 95, kHeight - 42, 85, 28);
  connect(done, &QPushButton::clicked, this, [this] { FlatButton1Click(); });
  ui::scaleWithWindow(this, {kWidth, kHeight});
}

void Thelp::SelButton1Click(QPushButton* button) {
  const int tag = button->property("Tag").toInt();
  const auto page = memo.find(tag);
  if (page == memo.end()) return;
  for (auto& [t, m] : memo) m->setVisible(t == tag);
  page->second->raise();
  label_caption->setText(button->text());
}

void Thelp::showEvent(QShowEvent* e) {
  if (QWidget* table = parentWidget()) move(table->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
  QDialog::showEvent(e);
}

}  // namespace ombrix::windows
