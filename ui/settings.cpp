#include "ui/settings.h"

#include <QFile>
#include <QSaveFile>
#include <optional>

#include "ui/userfiles.h"

namespace ombrix::ui {

namespace {

// A file without any line end yet (a new one) gets the one the lobby's
// platform writes.
const QByteArray kNewFileLineEnd = "\r\n";
const QByteArray kUtf8Mark = "\xEF\xBB\xBF";  // some editors put it before the first line

// One line of the file as it stands: its text, and its end apart (CR LF, LF,
// or nothing for a last line without one).
struct Line {
  QByteArray text, end;
};

std::vector<Line> split(const QByteArray& data) {
  std::vector<Line> lines;
  qsizetype from = 0;
  while (from < data.size()) {
    const qsizetype lf = data.indexOf('\n', from);
    if (lf < 0) {
      lines.push_back({data.mid(from), {}});
      break;
    }
    const bool cr = lf > from && data[lf - 1] == '\r';
    lines.push_back({data.mid(from, lf - from - (cr ? 1 : 0)), cr ? "\r\n" : "\n"});
    from = lf + 1;
  }
  if (!lines.empty() && lines[0].text.startsWith(kUtf8Mark)) lines[0].text.remove(0, kUtf8Mark.size());
  return lines;
}

bool sameName(const QByteArray& a, const QString& b) {
  return QString::fromLatin1(a).compare(b, Qt::CaseInsensitive) == 0;
}

// "[name]", spaces allowed around it and inside the brackets.
std::optional<QByteArray> sectionName(const QByteArray& text) {
  const QByteArray t = text.trimmed();
  const qsizetype close = t.indexOf(']');
  if (!t.startsWith('[') || close < 0) return std::nullopt;
  return t.mid(1, close - 1).trimmed();
}

// "key=value", spaces allowed around both; comments and lines without "="
// are no keys.
bool keyValue(const QByteArray& text, QByteArray& key, QByteArray& value) {
  const QByteArray t = text.trimmed();
  if (t.isEmpty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return false;
  const qsizetype eq = t.indexOf('=');
  if (eq <= 0) return false;
  key = t.left(eq).trimmed();
  value = t.mid(eq + 1).trimmed();
  return !key.isEmpty();
}

// The lines [first, end) of the first section of that name; nothing when
// the file has none.
std::optional<std::pair<size_t, size_t>> findSection(const std::vector<Line>& lines, const QString& section) {
  for (size_t k = 0; k < lines.size(); ++k) {
    const auto name = sectionName(lines[k].text);
    if (!name || !sameName(*name, section)) continue;
    size_t end = k + 1;
    while (end < lines.size() && !sectionName(lines[end].text)) ++end;
    return std::pair{k + 1, end};
  }
  return std::nullopt;
}

// A value on one line: a line break in it would start a line of its own.
QByteArray oneLine(const QString& value) {
  QByteArray v = value.toLatin1();
  v.replace('\r', ' ').replace('\n', ' ');
  return v;
}

}  // namespace

QHash<QString, QString> readSection(const QString& file, const QString& section) {
  QHash<QString, QString> out;
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return out;
  const std::vector<Line> lines = split(f.readAll());
  const auto range = findSection(lines, section);
  if (!range) return out;
  QByteArray key, value;
  for (size_t k = range->first; k < range->second; ++k) {
    if (!keyValue(lines[k].text, key, value)) continue;
    const QString name = QString::fromLatin1(key).toLower();
    if (!out.contains(name)) out.insert(name, QString::fromLatin1(value));  // the first one counts
  }
  return out;
}

bool writeKeys(const QString& file, const QString& section,
               const std::vector<std::pair<QString, QString>>& keys) {
  QByteArray data;
  {
    // A missing file is an empty one; one that cannot be read is left alone,
    // as writing it anew would lose the lobby's sections.
    QFile f(file);
    if (f.exists()) {
      if (!f.open(QIODevice::ReadOnly)) return false;
      data = f.readAll();
    }
  }
  const bool marked = data.startsWith(kUtf8Mark);
  std::vector<Line> lines = split(data);
  QByteArray eol = kNewFileLineEnd;
  for (const Line& l : lines)
    if (!l.end.isEmpty()) {
      eol = l.end;
      break;
    }

  auto range = findSection(lines, section);
  if (!range) {
    if (!lines.empty() && lines.back().end.isEmpty()) lines.back().end = eol;
    lines.push_back({"[" + section.toLatin1() + "]", eol});
    range = std::pair{lines.size(), lines.size()};
  }
  auto [first, end] = *range;
  // New keys go after the section's last key, ahead of the blank lines and
  // comments that lead to the next section.
  size_t insertAt = first;
  QByteArray key, value;
  for (size_t k = first; k < end; ++k)
    if (keyValue(lines[k].text, key, value)) insertAt = k + 1;

  for (const auto& [name, text] : keys) {
    const QByteArray line = name.toLatin1() + "=" + oneLine(text);
    bool found = false;
    for (size_t k = first; k < end && !found; ++k)
      if (keyValue(lines[k].text, key, value) && sameName(key, name)) {
        lines[k].text = line;
        found = true;
      }
    if (found) continue;
    if (lines[insertAt - 1].end.isEmpty()) lines[insertAt - 1].end = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{line, eol});
    ++insertAt;
    ++end;
  }

  QByteArray text = marked ? kUtf8Mark : QByteArray();
  for (const Line& l : lines) text += l.text + l.end;
  ui::makeFolderFor(file);  // the player's settings folder on the first save
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly)) return false;
  out.write(text);
  return out.commit();
}

}  // namespace ombrix::ui
