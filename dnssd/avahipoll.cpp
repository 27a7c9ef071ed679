#include "dnssd/avahipoll.h"

#include <sys/time.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <climits>

// The library's handles, defined by whoever provides the main loop. Each
// owns its notifiers or timer; they are deleted from the event loop, never
// inside their own signal, since avahi frees watches from their callbacks.
struct AvahiWatch {
  int fd;
  AvahiWatchEvent wanted;
  AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);
  AvahiWatchCallback callback;
  void* userdata;
  QSocketNotifier* read = nullptr;
  QSocketNotifier* write = nullptr;
};

struct AvahiTimeout {
  AvahiTimeoutCallback callback;
  void* userdata;
  QTimer* timer;
};

namespace ombrix::dnssd {

namespace {

void fire(AvahiWatch* w, AvahiWatchEvent event) {
  w->happened = event;
  // The callback may free the watch: nothing of it is touched afterwards.
  w->callback(w, w->fd, event, w->userdata);
}

void apply(AvahiWatch* w) {
  w->read->setEnabled(w->wanted & AVAHI_WATCH_IN);
  w->write->setEnabled(w->wanted & AVAHI_WATCH_OUT);
}

QObject* ownerOf(const AvahiPoll* api) { return static_cast<AvahiQtPoll*>(api->userdata)->owner(); }

AvahiWatch* watchNew(const AvahiPoll* api, int fd, AvahiWatchEvent event, AvahiWatchCallback callback, void* userdata) {
  auto* w = new AvahiWatch{fd, event, static_cast<AvahiWatchEvent>(0), callback, userdata};
  // A hang-up or an error makes the descriptor readable: the read notifier
  // reports both, as poll(2) would with POLLHUP and POLLERR.
  w->read = new QSocketNotifier(fd, QSocketNotifier::Read, ownerOf(api));
  w->write = new QSocketNotifier(fd, QSocketNotifier::Write, ownerOf(api));
  QObject::connect(w->read, &QSocketNotifier::activated, [w] { fire(w, AVAHI_WATCH_IN); });
  QObject::connect(w->write, &QSocketNotifier::activated, [w] { fire(w, AVAHI_WATCH_OUT); });
  apply(w);
  return w;
}

void watchUpdate(AvahiWatch* w, AvahiWatchEvent event) {
  w->wanted = event;
  apply(w);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* w) { return w->happened; }

void watchFree(AvahiWatch* w) {
  for (QSocketNotifier* n : {w->read, w->write}) {
    n->setEnabled(false);
    n->disconnect();
    n->deleteLater();
  }
  delete w;
}

// Milliseconds from now until the absolute time `tv` (the library's clock
// is gettimeofday), 0 when it has passed.
int msUntil(const timeval* tv) {
  timeval now;
  gettimeofday(&now, nullptr);
  const long long us = (static_cast<long long>(tv->tv_sec) - now.tv_sec) * 1000000LL + (tv->tv_usec - now.tv_usec);
  if (us <= 0) return 0;
  return static_cast<int>(std::min<long long>((us + 999) / 1000, INT_MAX));
}

void arm(AvahiTimeout* t, const timeval* tv) {
  if (tv)
    t->timer->start(msUntil(tv));
  else
    t->timer->stop();
}

AvahiTimeout* timeoutNew(const AvahiPoll* api, const timeval* tv, AvahiTimeoutCallback callback, void* userdata) {
  auto* t = new AvahiTimeout{callback, userdata, new QTimer(ownerOf(api))};
  t->timer->setSingleShot(true);
  t->timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(t->timer, &QTimer::timeout, [t] { t->callback(t, t->userdata); });
  arm(t, tv);
  return t;
}

void timeoutUpdate(AvahiTimeout* t, const timeval* tv) { arm(t, tv); }

void timeoutFree(AvahiTimeout* t) {
  t->timer->stop();
  t->timer->disconnect();
  t->timer->deleteLater();
  delete t;
}

}  // namespace

AvahiQtPoll::AvahiQtPoll() {
  api_.userdata = this;
  api_.watch_new = watchNew;
  api_.watch_update = watchUpdate;
  api_.watch_get_events = watchGetEvents;
  api_.watch_free = watchFree;
  api_.timeout_new = timeoutNew;
  api_.timeout_update = timeoutUpdate;
  api_.timeout_free = timeoutFree;
}

}  // namespace ombrix::dnssd
