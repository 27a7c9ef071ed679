#include "windows/carddeckform.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/cards.h"

namespace ombrix::windows {

namespace {

// A preview: the ace of spades, king of hearts, queen of diamonds and ten
// of clubs fanned, and the back, at two thirds of a card on the table.
constexpr int kPreviewCards[] = {0, 52, 38, 24, 9};
constexpr QSize kPreviewCard(48, 65);
constexpr int kPreviewStep = 30;
constexpr QSize kPreviewSize(kPreviewCard.width() + kPreviewStep * 4, kPreviewCard.height());
constexpr QSize kWindowSize(440, 480);

}  // namespace

Tcarddeck::Tcarddeck(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName("Tcarddeck");
  setWindowTitle("Card Deck");
  resize(kWindowSize);
  auto* column = new QVBoxLayout(this);
  list_decks = new QListWidget(this);
  list_decks->setObjectName("list_decks");
  list_decks->setIconSize(kPreviewSize);
  list_decks->setSpacing(2);
  column->addWidget(list_decks);
  auto* backRow = new QHBoxLayout;
  auto* backLabel = new QLabel("Card back:", this);
  combo_back = new QComboBox(this);
  combo_back->setObjectName("combo_back");
  backLabel->setBuddy(combo_back);
  backRow->addWidget(backLabel);
  backRow->addWidget(combo_back, 1);
  column->addLayout(backRow);
  auto* done = new QPushButton("Done", this);
  done->setObjectName("button_done");
  connect(done, &QPushButton::clicked, this, &QDialog::close);
  column->addWidget(done, 0, Qt::AlignRight);
  connect(list_decks, &QListWidget::currentRowChanged, this, [this] { chosen(); });
  connect(combo_back, &QComboBox::currentIndexChanged, this, [this] { chosen(); });
}

Tcarddeck::~Tcarddeck() {
  if (listener_) ui::CardPictures::instance().removeListener(listener_);
}

void Tcarddeck::open(const ui::CardPictures::Style& current) {
  ui::CardPictures& pictures = ui::CardPictures::instance();
  filling_ = true;
  list_decks->clear();
  combo_back->clear();
  combo_back->addItem("The deck's own", QString());
  for (const ui::CardDeck& d : pictures.decks()) {
    auto* item = new QListWidgetItem(d.name, list_decks);
    item->setData(Qt::UserRole, d.id);
    combo_back->addItem(d.name, d.id);
    if (d.id == current.faces) list_decks->setCurrentItem(item);
  }
  combo_back->setCurrentIndex(current.back == current.faces ? 0 : std::max(0, combo_back->findData(current.back)));
  filling_ = false;
  if (!listener_) listener_ = pictures.onRendered([this] { drawPreviews(); });
  drawPreviews();
  show();
  raise();
  if (list_decks->currentItem()) list_decks->scrollToItem(list_decks->currentItem());
}

void Tcarddeck::drawPreviews() {
  ui::CardPictures& pictures = ui::CardPictures::instance();
  const qreal dpr = devicePixelRatioF();
  waiting_ = 0;
  // Asked for last to first: the drawing thread takes the newest wish
  // first, so the top of the list comes first.
  for (int row = list_decks->count() - 1; row >= 0; --row) {
    QListWidgetItem* item = list_decks->item(row);
    if (item->data(Qt::UserRole + 1).toBool()) continue;  // drawn exactly already
    const QString id = item->data(Qt::UserRole).toString();
    QPixmap preview((QSizeF(kPreviewSize) * dpr).toSize());
    preview.setDevicePixelRatio(dpr);
    preview.fill(Qt::transparent);
    bool all = true;
    {
      QPainter g(&preview);
      g.setRenderHint(QPainter::SmoothPixmapTransform);
      int x = 0;
      for (int n : kPreviewCards) {
        bool exact = false;
        const QPixmap card = pictures.picture({id, id}, n, kPreviewCard, dpr, &exact);
        all = all && exact;
        g.drawPixmap(QRect(QPoint(x, 0), kPreviewCard), card);
        x += kPreviewStep;
      }
    }
    item->setIcon(QIcon(preview));
    item->setData(Qt::UserRole + 1, all);
    if (!all) ++waiting_;
  }
}

void Tcarddeck::chosen() {
  if (filling_ || !list_decks->currentItem()) return;
  const QString faces = list_decks->currentItem()->data(Qt::UserRole).toString();
  const QString back = combo_back->currentData().toString();
  if (onChosen) onChosen({faces, back.isEmpty() ? faces : back});
}

void Tcarddeck::hideEvent(QHideEvent* e) {
  // The previews' pictures go with the window; the table's stay.
  if (listener_) ui::CardPictures::instance().removeListener(listener_);
  listener_ = 0;
  ui::CardPictures::instance().endPreviews();
  for (int row = 0; row < list_decks->count(); ++row) list_decks->item(row)->setData(Qt::UserRole + 1, false);
  QDialog::hideEvent(e);
}

}  // namespace ombrix::windows
