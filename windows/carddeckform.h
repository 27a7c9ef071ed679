// View > "Card Deck": the decks installed on this machine, each with a
// preview of a few of its cards, and the back the table shows. A choice
// takes effect at once; the table keeps it in the settings file.
#pragma once

#include <QDialog>
#include <functional>

#include "ui/cardpictures.h"

class QComboBox;
class QListWidget;

namespace ombrix::windows {

class Tcarddeck : public QDialog {
 public:
  explicit Tcarddeck(QWidget* parent = nullptr);
  ~Tcarddeck() override;

  // Fills the lists from the installed decks, the current style chosen, and shows the window.
  void open(const ui::CardPictures::Style& current);

  QListWidget* list_decks;  // an item per deck, its id in Qt::UserRole
  QComboBox* combo_back;    // "The deck's own", then every deck by name

  // The player chose faces and back (deck ids).
  std::function<void(const ui::CardPictures::Style&)> onChosen;

  // Every preview is the exact picture of its cards (none stands in).
  bool previewsReady() const { return waiting_ == 0; }

 protected:
  void hideEvent(QHideEvent* e) override;

 private:
  void drawPreviews();
  void chosen();
  int listener_ = 0;
  int waiting_ = 0;
  bool filling_ = false;
};

}  // namespace ombrix::windows
