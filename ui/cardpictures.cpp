#include "ui/cardpictures.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLoggingCategory>
#include <QPainter>
#include <QSvgRenderer>
#include <QTimer>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "base/cards.h"

namespace ombrix::ui {

namespace {
constexpr int kPictures = kDeckSize + 1;
// Sizes of one style kept besides the one asked for last: a resize back
// and forth finds its pictures, and memory stays a few decks' worth.
constexpr size_t kSetsKept = 4;
// A size not asked for again within this long is not drawn further (the
// sizes a window passes through while it is being resized).
constexpr auto kStale = std::chrono::milliseconds(1500);
// Pictures that arrive together are told to the windows at most this often.
constexpr int kNotifyMs = 30;
// SVG files read at once on the drawing thread: the table's deck and its
// back, and one more for a preview.
constexpr size_t kSvgKept = 3;

// The drawing thread's niceness.
constexpr int kNice = 10;

CardPictures* theInstance = nullptr;

QSize pixelsOf(QSize size, qreal dpr) { return (QSizeF(size) * dpr).toSize(); }
}  // namespace

// The drawing thread: a queue of sizes to draw, newest wish first, each card
// at a time so a card asked for moves to the front even mid-size.
struct CardPictures::Worker {
  struct Job {
    uint64_t generation;
    Style style;
    CardDeck faces, back;
    QSize pixels;
    qreal dpr;
    std::deque<int> todo;
    std::chrono::steady_clock::time_point wanted;
    bool whole;  // the whole deck at that size (the table's), else only the cards asked for (a preview)
  };
  std::mutex m;
  std::condition_variable wake;
  std::vector<Job> jobs;
  bool quit = false;
  bool held = false;
  // The card being drawn now, and of which job.
  int drawing = -1;
  uint64_t drawingGeneration = 0;
  Style drawingStyle;
  QSize drawingPixels;
  QObject* receiver;
  CardPictures* owner;
  std::thread thread;

  Worker(QObject* r, CardPictures* o) : receiver(r), owner(o), thread([this] {
    // Below the window's thread and the game's: a deck drawn meanwhile
    // never holds up a move.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice);
    run();
  }) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> lock(m);
      quit = true;
    }
    wake.notify_all();
    thread.join();
  }

  void want(uint64_t generation, const Style& style, const CardDeck& faces, const CardDeck& back, QSize pixels,
            qreal dpr, int n, bool whole) {
    {
      std::lock_guard<std::mutex> lock(m);
      const auto now = std::chrono::steady_clock::now();
      Job* job = nullptr;
      for (Job& j : jobs)
        if (j.generation == generation && j.style == style && j.pixels == pixels) job = &j;
      if (!job) {
        jobs.push_back({generation, style, faces, back, pixels, dpr, {}, now, whole});
        job = &jobs.back();
        if (whole)
          for (int c = 0; c < kPictures; ++c) job->todo.push_back(c);
      }
      job->wanted = now;
      // To the front, whether queued or not (a card asked for again after its
      // picture went is drawn once more), unless it is being drawn now.
      if (auto at = std::find(job->todo.begin(), job->todo.end(), n); at != job->todo.end()) job->todo.erase(at);
      if (!(drawing == n && drawingGeneration == generation && drawingStyle == style && drawingPixels == pixels))
        job->todo.push_front(n);
    }
    wake.notify_one();
  }

  // A deck read once and kept while it is among the last few used.
  struct Svg {
    QString path;
    std::unique_ptr<QSvgRenderer> renderer;
    bool broken = false;
  };
  std::deque<Svg> svgs;

  Svg& svgFor(const CardDeck& deck) {
    for (auto it = svgs.begin(); it != svgs.end(); ++it)
      if (it->path == deck.svg) {
        Svg s = std::move(*it);
        svgs.erase(it);
        svgs.push_front(std::move(s));
        return svgs.front();
      }
    Svg s{deck.svg, std::make_unique<QSvgRenderer>(deck.svg), false};
    s.broken = !s.renderer->isValid();
    for (int c = 0; c < kPictures && !s.broken; ++c) s.broken = !s.renderer->elementExists(deck.elementId(c));
    if (s.broken) s.renderer.reset();
    svgs.push_front(std::move(s));
    while (svgs.size() > kSvgKept) svgs.pop_back();
    return svgs.front();
  }

  void run() {
    for (;;) {
      Job job;
      int n = -1;
      {
        std::unique_lock<std::mutex> lock(m);
        wake.wait(lock, [this] { return quit || (!held && !jobs.empty()); });
        if (quit) break;
        // The newest wish first; sizes nobody asks for any more are dropped.
        // The newest is kept however old: it is what the window shows now.
        // Whoever still shows a stand-in of a size dropped is told, and asks
        // again if that size is still on the screen.
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(jobs, [](const Job& j) { return j.todo.empty(); });
        if (jobs.empty()) continue;
        auto newest = std::max_element(jobs.begin(), jobs.end(),
                                       [](const Job& a, const Job& b) { return a.wanted < b.wanted; });
        const auto newestWanted = newest->wanted;
        if (std::erase_if(jobs, [&](const Job& j) {
              return j.whole && j.wanted != newestWanted && now - j.wanted > kStale;
            }))
          QMetaObject::invokeMethod(receiver, [o = owner] { o->notifySoon(); }, Qt::QueuedConnection);
        newest = std::max_element(jobs.begin(), jobs.end(),
                                  [](const Job& a, const Job& b) { return a.wanted < b.wanted; });
        n = newest->todo.front();
        newest->todo.pop_front();
        drawing = n;
        drawingGeneration = newest->generation;
        drawingStyle = newest->style;
        drawingPixels = newest->pixels;
        job.generation = newest->generation;
        job.style = newest->style;
        job.faces = newest->faces;
        job.back = newest->back;
        job.pixels = newest->pixels;
        job.dpr = newest->dpr;
      }
      const auto drawn = [this] {
        std::lock_guard<std::mutex> lock(m);
        drawing = -1;
      };
      const CardDeck& deck = n == 0 ? job.back : job.faces;
      Svg& svg = svgFor(deck);
      if (svg.broken) {
        drawn();
        drop(job.generation, deck.svg);
        QMetaObject::invokeMethod(
            receiver, [o = owner, g = job.generation, id = deck.id] { o->failed(g, id); }, Qt::QueuedConnection);
        continue;
      }
      QImage image(job.pixels, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      {
        QPainter g(&image);
        g.setRenderHint(QPainter::Antialiasing);
        g.setRenderHint(QPainter::SmoothPixmapTransform);
        svg.renderer->render(&g, deck.elementId(n), QRectF(QPointF(), QSizeF(job.pixels)));
      }
      image.setDevicePixelRatio(job.dpr);
      drawn();
      QMetaObject::invokeMethod(
          receiver,
          [o = owner, g = job.generation, s = job.style, px = job.pixels, n, img = std::move(image)] {
            o->delivered(g, s, px, n, img);
          },
          Qt::QueuedConnection);
    }
    svgs.clear();  // the renderers belong to this thread
  }

  // The previews' jobs go (their window closed).
  void dropPreviews() {
    std::lock_guard<std::mutex> lock(m);
    std::erase_if(jobs, [](const Job& j) { return !j.whole; });
  }

  // Every job that draws from a deck found broken goes.
  void drop(uint64_t generation, const QString& svg) {
    std::lock_guard<std::mutex> lock(m);
    std::erase_if(jobs, [&](const Job& j) {
      return j.generation == generation && (j.faces.svg == svg || j.back.svg == svg);
    });
  }
};

bool CardPictures::KeyLess::operator()(const Key& a, const Key& b) const {
  if (a.first != b.first) return a.first < b.first;
  if (a.second.width() != b.second.width()) return a.second.width() < b.second.width();
  return a.second.height() < b.second.height();
}

CardPictures& CardPictures::instance() {
  if (!theInstance) {
    theInstance = new CardPictures;
    // The drawing thread ends with the application, before the statics go.
    qAddPostRoutine([] {
      delete theInstance;
      theInstance = nullptr;
    });
  }
  return *theInstance;
}

CardPictures::CardPictures() : receiver_(new QObject) {
  // Decks carry references Qt's SVG reader does not follow; they draw
  // well without, and would fill the log.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.svg.warning=false"));
  const QString first = installed(kDefaultDeck);
  style_ = {first, first};
}

QString CardPictures::installed(const QString& id) {
  auto usable = [this](const QString& d) { return deck(d) && !failedDecks_.contains(d); };
  if (id == kDrawnDeck || usable(id)) return id;
  // The next deck that reads, from the one the table always showed: the
  // default, then the others in their order, then the cards drawn in code.
  if (usable(kDefaultDeck)) return kDefaultDeck;
  for (const CardDeck& d : decks())
    if (usable(d.id)) return d.id;
  return kDrawnDeck;
}

void CardPictures::setDecks(std::vector<CardDeck> decks) {
  decks_ = std::move(decks);
  decksRead_ = true;
  failedDecks_.clear();
  ++generation_;
  sets_.clear();
}

void CardPictures::endPreviews() {
  if (worker_) worker_->dropPreviews();
  const QString current = keyOf(style_);
  std::erase_if(sets_, [&](const auto& kv) { return kv.first.first != current; });
}

CardPictures::~CardPictures() {
  worker_.reset();
  delete receiver_;
}

const std::vector<CardDeck>& CardPictures::decks() {
  if (!decksRead_) {
    decks_ = installedDecks();
    decksRead_ = true;
  }
  return decks_;
}

const CardDeck* CardPictures::deck(const QString& id) {
  if (id == kDrawnDeck) return nullptr;
  return findDeck(decks(), id);
}

void CardPictures::setStyle(const Style& style) {
  if (style == style_) return;
  style_ = style;
  ++generation_;
  sets_.clear();
  notifySoon();
}

QPixmap CardPictures::picture(int n, QSize size, qreal dpr, bool* exact) {
  return picture(style_, n, size, dpr, exact);
}

QPixmap CardPictures::picture(const Style& style, int n, QSize size, qreal dpr, bool* exact) {
  if (n < 0 || n > kDeckSize) n = 0;
  if (exact) *exact = true;
  if (size.isEmpty()) return {};
  const QSize pixels = pixelsOf(size, dpr);
  const QString key = keyOf(style);
  Set& set = sets_[{key, pixels}];
  set.used = ++useClock_;
  QPixmap& p = set.cards[n];
  if (!p.isNull()) return p;
  const QString& deckId = n == 0 ? style.back : style.faces;
  if (deckId == kDrawnDeck || !deck(deckId) || failedDecks_.contains(deckId)) {
    // Drawn in code at once: cheap, and the only picture when the deck is
    // missing or cannot be read.
    p = drawnCard(n, size, dpr);
    ++set.count;
    const QPixmap out = p;
    trim();
    return out;
  }
  want(style, pixels, dpr, n);
  if (exact) *exact = false;
  // The nearest size of this style already drawn stands in.
  const QPixmap* best = nullptr;
  for (const auto& [k, s] : sets_)
    if (k.first == key && !s.cards[n].isNull() &&
        (!best || std::abs(s.cards[n].width() - pixels.width()) < std::abs(best->width() - pixels.width())))
      best = &s.cards[n];
  return best ? *best : drawnCard(n, size, dpr);
}

void CardPictures::prepare(QSize size, qreal dpr) {
  for (int n = 0; n <= kDeckSize; ++n) picture(n, size, dpr);
}

bool CardPictures::ready(QSize size, qreal dpr) const {
  const auto it = sets_.find({keyOf(style_), pixelsOf(size, dpr)});
  return it != sets_.end() && it->second.count == kPictures;
}

void CardPictures::holdDrawing(bool hold) {
  if (!worker_) worker_ = std::make_unique<Worker>(receiver_, this);
  {
    std::lock_guard<std::mutex> lock(worker_->m);
    worker_->held = hold;
  }
  worker_->wake.notify_all();
}

void CardPictures::want(const Style& style, QSize pixels, qreal dpr, int n) {
  const CardDeck* faces = deck(style.faces);
  const CardDeck* back = deck(style.back);
  if (!faces || !back) return;
  if (!worker_) worker_ = std::make_unique<Worker>(receiver_, this);
  // A generation other than the current one only for a preview's style,
  // which draws only the cards it shows.
  const bool current = style == style_;
  worker_->want(current ? generation_ : 0, style, *faces, *back, pixels, dpr, n, current);
}

void CardPictures::delivered(uint64_t generation, const Style& style, QSize pixels, int n, const QImage& image) {
  if (style == style_ ? generation != generation_ : generation != 0) return;
  Set& set = sets_[{keyOf(style), pixels}];
  if (!set.cards[n].isNull()) return;
  set.cards[n] = QPixmap::fromImage(image);
  ++set.count;
  trim();
  notifySoon();
}

void CardPictures::failed(uint64_t generation, const QString& id) {
  if (failedDecks_.contains(id)) return;
  failedDecks_ << id;
  // Its stand-ins go: its pictures are drawn in code from now on.
  std::erase_if(sets_, [&](const auto& kv) { return kv.first.first.split('|').contains(id); });
  notifySoon();
  if (generation != generation_ || (style_.faces != id && style_.back != id)) return;
  const QString next = installed(id);
  Style s = style_;
  if (s.faces == id) s.faces = next;
  if (s.back == id) s.back = next;
  setStyle(s);
  if (onDeckFailed) onDeckFailed(id);
}

void CardPictures::trim() {
  // Each style keeps its sizes used last.
  std::map<QString, std::vector<std::pair<uint64_t, Key>>> byStyle;
  for (const auto& [k, s] : sets_) byStyle[k.first].push_back({s.used, k});
  for (auto& [style, sets] : byStyle) {
    if (sets.size() <= kSetsKept) continue;
    std::sort(sets.begin(), sets.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t i = kSetsKept; i < sets.size(); ++i) sets_.erase(sets[i].second);
  }
}

int CardPictures::onRendered(std::function<void()> f) {
  listeners_[nextListener_] = std::move(f);
  return nextListener_++;
}

void CardPictures::removeListener(int id) { listeners_.erase(id); }

void CardPictures::notifySoon() {
  if (notifyQueued_) return;
  notifyQueued_ = true;
  QTimer::singleShot(kNotifyMs, receiver_, [this] {
    notifyQueued_ = false;
    // A listener may go while others are told.
    std::vector<int> ids;
    for (const auto& [id, f] : listeners_) ids.push_back(id);
    for (int id : ids)
      if (auto it = listeners_.find(id); it != listeners_.end()) it->second();
  });
}

QPixmap CardPictures::drawnCard(int n, QSize size, qreal dpr) {
  QPixmap p(pixelsOf(size, dpr));
  p.setDevicePixelRatio(dpr);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.scale(qreal(size.width()) / kWidth, qreal(size.height()) / kHeight);
  const QRectF area(0, 0, kWidth, kHeight);
  g.setBrush(n ? Qt::white : QColor(0x30, 0x50, 0xA0));
  g.setPen(Qt::black);
  g.drawRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  if (n) {
    static const char* const r = "?23456789TJQKA";
    static const QString s[] = {"", "\u2663", "\u2666", "\u2665", "\u2660"};
    g.setPen(suitOf(n) == kDiamonds || suitOf(n) == kHearts ? Qt::red : Qt::black);
    QFont f("Arial");
    f.setPixelSize(20);
    g.setFont(f);
    g.drawText(area, Qt::AlignCenter, QString(QChar(r[rankOf(n)])) + s[suitOf(n)]);
  }
  return p;
}

}  // namespace ombrix::ui
