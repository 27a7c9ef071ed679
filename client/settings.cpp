#include "client/settings.h"

#include <QFile>
#include <QSaveFile>
// The file is handled as single bytes, as the lobby writes it: no conversion.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // the template bodies, in this one place
#include <SimpleIni.h>

namespace ombrix::client {

namespace {
std::string bytes(const QString& s) { return s.toLatin1().toStdString(); }

bool load(CSimpleIniA& ini, const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = f.readAll();
  return ini.LoadData(data.constData(), static_cast<size_t>(data.size())) >= 0;
}
}  // namespace

QHash<QString, QString> readSection(const QString& file, const QString& section) {
  QHash<QString, QString> out;
  CSimpleIniA ini;
  if (!load(ini, file)) return out;
  CSimpleIniA::TNamesDepend keys;
  ini.GetAllKeys(bytes(section).c_str(), keys);
  for (const auto& k : keys) {
    const char* v = ini.GetValue(bytes(section).c_str(), k.pItem, "");
    out.insert(QString::fromLatin1(k.pItem).toLower(), QString::fromLatin1(v));
  }
  return out;
}

bool writeKeys(const QString& file, const QString& section,
               const std::vector<std::pair<QString, QString>>& keys) {
  CSimpleIniA ini;
  // A missing file is an empty one; one that cannot be read is left alone,
  // as writing it anew would lose the lobby's sections.
  if (!load(ini, file) && QFile::exists(file)) return false;
  for (const auto& [k, v] : keys) ini.SetValue(bytes(section).c_str(), bytes(k).c_str(), bytes(v).c_str());
  std::string text;
  if (ini.Save(text) < 0) return false;
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly)) return false;
  out.write(text.data(), static_cast<qint64>(text.size()));
  return out.commit();
}

}  // namespace ombrix::client
