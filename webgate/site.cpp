#include "webgate/site.h"

#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/carddecks.h"
#include "webgate/deckfiles.h"

namespace ombrix::webgate {

namespace fs = std::filesystem;

namespace {

std::string typeOf(const std::string& path) {
  static const std::pair<const char*, const char*> types[] = {
      {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},   {".svg", "image/svg+xml"},
      {".png", "image/png"},                 {".wav", "audio/wav"},
      {".json", "application/json"},         {".ico", "image/x-icon"},
      {".webmanifest", "application/manifest+json"},
  };
  for (const auto& [ext, type] : types) {
    const std::string e = ext;
    if (path.size() >= e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0) return type;
  }
  return "application/octet-stream";
}

bool compressible(const std::string& type) {
  return type.rfind("text/", 0) == 0 || type == "image/svg+xml" || type.find("json") != std::string::npos;
}

// The mark in the page's root element the deck's tag goes into.
constexpr std::string_view kDeckMark = "data-deck=\"\"";
// Hex digits of the deck's content hash in its cards' paths: enough that two
// decks never share one.
constexpr size_t kDeckTagLength = 12;

std::string etagOf(std::string_view body) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (const char c : body) h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  char text[24];
  std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(h));
  return text;
}

bool readFile(const fs::path& p, std::string& out) {
  std::error_code ec;
  const auto size = fs::file_size(p, ec);
  if (ec || size > Site::kMaxFileBytes) return false;
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return static_cast<bool>(in) || in.eof();
}

}  // namespace

std::string gzipOf(std::string_view plain) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string out(deflateBound(&z, plain.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int r = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return r == Z_STREAM_END ? out : std::string();
}

std::string gunzip(std::string_view gz, size_t limit) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return {};
  std::string out;
  char buf[65536];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
  z.avail_in = static_cast<uInt>(gz.size());
  int r = Z_OK;
  while (r == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    r = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
    if (out.size() > limit) r = Z_DATA_ERROR;
  }
  inflateEnd(&z);
  return r == Z_STREAM_END ? out : std::string();
}

bool isCodePath(std::string_view path) {
  if (path.size() < 3 || path.size() > 12 || path.substr(0, 2) != "/+") return false;
  for (const char c : path.substr(2))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

void Site::add(const std::string& path, const std::string& type, std::string body, bool keep) {
  Asset a;
  a.type = type;
  a.etag = etagOf(body);
  a.keep = keep;
  if (compressible(type) && body.size() > 256) {
    std::string gz = gzipOf(body);
    if (!gz.empty() && gz.size() < body.size()) a.gzip = std::make_shared<const std::string>(std::move(gz));
  }
  a.plain = std::make_shared<const std::string>(std::move(body));
  assets_[path] = std::move(a);
}

void Site::addDeck(std::string_view gzipBody) {
  const std::string plain = gunzip(gzipBody, 4 * kMaxFileBytes);
  std::map<std::string, std::string> cards = plain.empty() ? decltype(cards){} : cutDeck(plain);
  if (cards.empty()) {
    problem_ = "the card deck cannot be read";
    return;
  }
  deckTag_ = etagOf(gzipBody).substr(1, kDeckTagLength);
  for (auto& [id, body] : cards) add("/deck/" + deckTag_ + "/" + id + ".svg", "image/svg+xml", std::move(body), true);
  // The page names the deck it draws from; it is asked again each load
  // (no-cache), so a new deck reaches it at once.
  const auto page = assets_.find("/index.html");
  if (page == assets_.end()) return;
  std::string html = *page->second.plain;
  const size_t at = html.find(kDeckMark);
  if (at == std::string::npos) return;
  html.insert(at + kDeckMark.size() - 1, deckTag_);
  add("/index.html", page->second.type, std::move(html));
}

Site Site::load(const std::string& root, const std::string& deckPath) {
  Site site;
  std::error_code ec;
  size_t files = 0;
  if (!root.empty() && fs::is_directory(root, ec)) {
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      if (++files > kMaxFiles) break;
      std::string body;
      if (!readFile(it->path(), body)) continue;
      const std::string rel = "/" + fs::relative(it->path(), root, ec).generic_string();
      site.add(rel, typeOf(rel), std::move(body));
    }
  }
  if (!site.hasPage()) site.problem_ = "the web table is not built (no index.html in " + root + ")";
  std::string deck;
  if (!deckPath.empty() && readFile(deckPath, deck)) site.addDeck(deck);
  else if (site.problem_.empty()) site.problem_ = "no card deck is installed (kdegames-card-data-kf5)";
  return site;
}

const Asset* Site::find(std::string_view path) const {
  if (path == "/" || isCodePath(path)) path = "/index.html";
  const auto it = assets_.find(path);
  return it == assets_.end() ? nullptr : &it->second;
}

size_t Site::bytes() const {
  size_t n = 0;
  for (const auto& [path, a] : assets_) n += (a.plain ? a.plain->size() : 0) + (a.gzip ? a.gzip->size() : 0);
  return n;
}

std::string webRoot(const std::string& programPath) {
  if (const char* env = std::getenv("OMBRIX_WEB_ROOT"); env && *env) return env;
  std::error_code ec;
  fs::path self = fs::canonical(programPath, ec);
  if (ec) self = fs::canonical("/proc/self/exe", ec);
  return (self.parent_path().parent_path() / "share" / "ombrix" / "web").string();
}

std::string cardDeck() {
  std::error_code ec;
  for (const char* path : kCardDecks)
    if (fs::exists(path, ec)) return path;
  return {};
}

}  // namespace ombrix::webgate
