// What a web door serves: the built web table (every file of its folder, read
// once at start) and the card deck the desktop table draws, held in memory
// with their gzip forms, so a request costs no file access and no
// compression.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace ombrix::webgate {

struct Asset {
  std::string type;  // Content-Type
  std::string etag;  // quoted, from the content
  std::shared_ptr<const std::string> plain, gzip;  // gzip may be null
  bool keep = false;  // may be kept a week without asking again (the deck)
};

class Site {
 public:
  // Most files and bytes a web folder may hold: a built page is a handful
  // of files of a few hundred KB; anything past this is not one.
  static constexpr size_t kMaxFiles = 64;
  static constexpr size_t kMaxFileBytes = 8 << 20;

  Site() = default;
  // Reads the web table's folder and the first card deck installed; what
  // is missing is simply not served (`problem()` says what).
  static Site load(const std::string& root, const std::string& deckPath);

  // The asset for a request's path: "/" and an invite code's page ("/+CODE")
  // are the table's page; "/deck/TAG/ID.svg" a card.
  const Asset* find(std::string_view path) const;
  void add(const std::string& path, const std::string& type, std::string body, bool keep = false);
  // The deck (its .svgz), one file a card: "/deck/TAG/ID.svg" by the card's
  // element (webgate/deckfiles.h), kept by the browser for a week. TAG
  // follows the deck's content, so a browser that kept another deck's
  // cards never mixes them with this one's; the page learns it from its
  // root element's data-deck, which is filled in here.
  void addDeck(std::string_view gzipBody);
  const std::string& deckTag() const { return deckTag_; }
  bool hasPage() const { return assets_.count("/index.html") != 0; }
  const std::string& problem() const { return problem_; }
  size_t bytes() const;

 private:
  std::map<std::string, Asset, std::less<>> assets_;
  std::string problem_;
  std::string deckTag_;
};

// The web table's folder for a program at `programPath`: OMBRIX_WEB_ROOT when
// set, else share/ombrix/web beside the program's own folder (the build
// tree's and the installed layout alike).
std::string webRoot(const std::string& programPath);
// The first card deck installed, or "".
std::string cardDeck();
// Whether `path` names an invite code's page: "/+" and letters or digits.
bool isCodePath(std::string_view path);

std::string gzipOf(std::string_view plain);
std::string gunzip(std::string_view gz, size_t limit);

}  // namespace ombrix::webgate
