#include "windows/aboutform.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "protocol/commands.h"
#include "ui/links.h"
#include "widgets/art.h"
#include "widgets/controls.h"
#include "ui/designscale.h"

namespace ombrix::windows {

const char* const kMakerSite = "http://www.quarrow.com/";

namespace {
constexpr int kWidth = 300, kHeight = 230;

// The picture: a click hides the window.
class Picture : public widgets::ArtLabel {
 public:
  explicit Picture(QWidget* parent) : ArtLabel(parent, {280, 60}, widgets::logo) {}

 protected:
  void mousePressEvent(QMouseEvent*) override { window()->hide(); }
};
}  // namespace

void openMakerSite() { ui::openLink(kMakerSite); }

Tabout::Tabout(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName("Tabout");
  setWindowTitle("Ombrix");
  resize(kWidth, kHeight);
  ui::designFill(new widgets::BackgroundPanel(this));
  auto* picture = new Picture(this);
  picture->setObjectName("Image1");
  picture->setGeometry(10, 10, 280, 60);
  QFont bold("Arial");
  bold.setPixelSize(13);
  bold.setBold(true);
  QFont plain("Arial");
  plain.setPixelSize(12);
  auto* v = new QLabel("Version", this);
  v->setFont(bold);
  v->setGeometry(20, 82, 70, 18);
  version =
      new QLabel(QString::fromLatin1(wire::kVersion.data(), static_cast<int>(wire::kVersion.size())), this);
  version->setObjectName("version");
  version->setFont(plain);
  version->setGeometry(100, 82, 120, 18);
  auto* by = new QLabel("Programmed By:", this);
  by->setFont(bold);
  by->setGeometry(20, 106, 120, 18);
  auto* credits = new QLabel("The Ombrix developers\nCards: the KDE games card decks", this);
  credits->setFont(plain);
  credits->setGeometry(40, 126, 250, 34);
  auto* link = new QLabel(QString("<a href=\"%1\">%1</a>").arg(kMakerSite), this);
  link->setObjectName("label_link");
  link->setFont(plain);
  link->setGeometry(20, 166, 260, 18);
  link->setCursor(Qt::PointingHandCursor);
  connect(link, &QLabel::linkActivated, this, [] { openMakerSite(); });
  auto* done = new QPushButton("Done", this);
  done->setObjectName("FlatButton1");
  done->setGeometry(kWidth - 95, kHeight - 36, 85, 26);
  connect(done, &QPushButton::clicked, this, [this] { FlatButton1Click(); });
  ui::scaleWithWindow(this, {kWidth, kHeight});
}

void Tabout::showEvent(QShowEvent* e) {
  if (QWidget* table = parentWidget()) move(table->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
  QDialog::showEvent(e);
}

}  // namespace ombrix::windows
