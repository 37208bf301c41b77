#include "ui/qt/icons.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

namespace mirabo::ui::qt {
namespace {

QString BaseName(std::string_view name) {
  QString s = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())).trimmed();
  if (s.startsWith(QLatin1Char('~'))) s.remove(0, 1);
  s = s.toLower();
  if (s.endsWith(QLatin1String(".ico"))) s.chop(4);
  return s;
}

}  // namespace

QString IconResource(std::string_view name) {
  const QString base = BaseName(name);
  if (base.isEmpty()) return {};
  const QString path = QStringLiteral(":/mirabo/icons/%1.svg").arg(base);
  return QFile::exists(path) ? path : QString();
}

QPixmap IconPixmap(std::string_view name, QSize size) {
  const QString path = IconResource(name);
  if (path.isEmpty() || size.isEmpty()) return {};
  static QHash<QString, QPixmap> cache;
  const QString key = QStringLiteral("%1@%2x%3").arg(path).arg(size.width()).arg(size.height());
  if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
  QSvgRenderer svg(path);
  // Drawn at the screen's pixel density, so the picture stays sharp.
  const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
  QPixmap pm(size * dpr);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  QSizeF drawn = svg.defaultSize();
  drawn.scale(QSizeF(size), Qt::KeepAspectRatio);
  {
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p, QRectF(QPointF((size.width() - drawn.width()) / 2,
                                  (size.height() - drawn.height()) / 2),
                          drawn));
  }
  cache.insert(key, pm);
  return pm;
}

QIcon IconFor(std::string_view name) {
  if (IconResource(name).isEmpty()) return {};
  QIcon icon;
  for (int px : {16, 20, 24, 32, 48}) icon.addPixmap(IconPixmap(name, QSize(px, px)));
  return icon;
}

}  // namespace mirabo::ui::qt
