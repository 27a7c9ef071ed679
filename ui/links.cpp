#include "ui/links.h"

#include <QDesktopServices>
#include <QUrl>

namespace ombrix::ui {

namespace {
std::function<void(const QString&)>& opener() {
  static std::function<void(const QString&)> o;
  return o;
}
}  // namespace

void openLink(const QString& link) {
  if (opener()) return opener()(link);
  QDesktopServices::openUrl(QUrl::fromUserInput(link));
}

void setLinkOpener(std::function<void(const QString&)> o) { opener() = std::move(o); }

}  // namespace ombrix::ui
