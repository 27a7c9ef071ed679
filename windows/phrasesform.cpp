#include "windows/phrasesform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "widgets/art.h"
#include "ui/designscale.h"

namespace ombrix::windows {

namespace {
constexpr int kWidth = 330, kHeight = 290;
constexpr int kMaxPhrase = 50;  // characters in one phrase
}  // namespace

Tphrases::Tphrases(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName("Tphrases");
  setWindowTitle("Ombrix - Phrase Buttons");
  resize(kWidth, kHeight);
  ui::designFill(new widgets::BackgroundPanel(this));
  QFont f("Arial");
  f.setPixelSize(12);
  for (int n = 1; n <= 9; ++n) {
    auto* caption = new QLabel("Phrase Button " + QString::number(n) + ":", this);
    caption->setFont(f);
    caption->setGeometry(10, 10 + 26 * (n - 1), 105, 22);
    phrase[n] = new QLineEdit(this);
    phrase[n]->setObjectName("phrase" + QString::number(n));
    phrase[n]->setMaxLength(kMaxPhrase);
    phrase[n]->setGeometry(115, 10 + 26 * (n - 1), 205, 22);
  }
  auto* done = new QPushButton("Done", this);
  done->setObjectName("SelButton8");
  done->setGeometry(kWidth - 95, kHeight - 40, 85, 26);
  connect(done, &QPushButton::clicked, this, [this] { SelButton8Click(); });
  ui::scaleWithWindow(this, {kWidth, kHeight});
}

void Tphrases::setPhrase(int n, const QString& text) { phrase[n]->setText(text); }
QString Tphrases::text(int n) const { return phrase[n]->text(); }

void Tphrases::SelButton8Click() {
  std::array<QString, 10> texts;
  for (int n = 1; n <= 9; ++n) texts[n] = phrase[n]->text();
  if (onDone) onDone(texts);
  hide();
}

void Tphrases::showEvent(QShowEvent* e) {
  if (QWidget* table = parentWidget()) move(table->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
  QDialog::showEvent(e);
}

}  // namespace ombrix::windows
