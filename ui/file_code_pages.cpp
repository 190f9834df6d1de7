// The chosen code pages, one settings value mapping paths to numbers.
#include "ui/file_code_pages.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariantMap>

namespace kevra::ui {

namespace {
const QString kKey = QStringLiteral("codePages");
QString keyOf(const QString& path) { return QFileInfo(path).absoluteFilePath(); }
}  // namespace

const QList<QPair<int, QString>>& FileCodePages::choices() {
  static const QList<QPair<int, QString>> list = {
      {1252, QStringLiteral("1252 (Western European)")}, {1250, QStringLiteral("1250 (Central European)")},
      {1251, QStringLiteral("1251 (Cyrillic)")},         {1253, QStringLiteral("1253 (Greek)")},
      {1254, QStringLiteral("1254 (Turkish)")},          {1255, QStringLiteral("1255 (Hebrew)")},
      {1256, QStringLiteral("1256 (Arabic)")},           {1257, QStringLiteral("1257 (Baltic)")},
      {1258, QStringLiteral("1258 (Vietnamese)")},       {874, QStringLiteral("874 (Thai)")},
      {437, QStringLiteral("437 (DOS United States)")},  {850, QStringLiteral("850 (DOS Western European)")},
      {852, QStringLiteral("852 (DOS Central European)")}, {865, QStringLiteral("865 (DOS Nordic)")},
      {866, QStringLiteral("866 (DOS Cyrillic)")}};
  return list;
}

int FileCodePages::codePageOf(const QString& path) const {
  return QSettings().value(kKey).toMap().value(keyOf(path)).toInt();
}

void FileCodePages::remember(const QString& path, int codePage) {
  QSettings settings;
  QVariantMap map = settings.value(kKey).toMap();
  if (codePage > 0)
    map.insert(keyOf(path), codePage);
  else
    map.remove(keyOf(path));
  settings.setValue(kKey, map);
}

}  // namespace kevra::ui
