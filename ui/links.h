// Opening a link with the desktop's handler: the one place the table's chat
// pane and the about window send a link out of the program, so tests can
// catch it instead.
#pragma once

#include <QString>
#include <functional>

namespace ombrix::ui {

// Opens a link with the desktop's handler ("www." links as web pages); a
// link that nothing opens is ignored.
void openLink(const QString& link);
// Where links go to be opened: the desktop by default, a recorder in tests.
void setLinkOpener(std::function<void(const QString& link)> opener);

}  // namespace ombrix::ui
