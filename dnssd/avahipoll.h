// The avahi client library's main-loop interface (AvahiPoll) on the Qt event
// loop: a watch is a pair of QSocketNotifiers, a timeout a single-shot QTimer.
//
// Why libavahi-client and not the daemon's D-Bus interface through QtDBus:
// the library already settles what the raw interface leaves to its users
// (a browser's first answers arriving before its object is known, TXT
// strings as byte arrays, waiting for a daemon that is not there yet), and
// Debian's own adapter for Qt (avahi-qt) is built for Qt 5 only, which must
// not be linked beside Qt 6. This adapter is the small part left to write.
#pragma once

#include <avahi-common/watch.h>

#include <QObject>

namespace ombrix::dnssd {

class AvahiQtPoll {
 public:
  AvahiQtPoll();
  AvahiQtPoll(const AvahiQtPoll&) = delete;
  AvahiQtPoll& operator=(const AvahiQtPoll&) = delete;
  // Every client made with api() must be freed first. Notifiers and timers
  // freed after the event loop stopped go with it.
  ~AvahiQtPoll() = default;

  const AvahiPoll* api() const { return &api_; }
  QObject* owner() { return &owner_; }

 private:
  QObject owner_;
  AvahiPoll api_;
};

}  // namespace ombrix::dnssd
