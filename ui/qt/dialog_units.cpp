#include "ui/qt/dialog_units.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace mirabo::ui::qt {
namespace {

int Scale(int value, int numerator, int denominator) {
  if (denominator <= 0) return 0;
  return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

bool SameFace(const std::string& a, const char* b) {
  return QString::fromStdString(a).compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

int DialogUnits::ToPixelsX(int du) const { return Scale(du, char_width, 4); }
int DialogUnits::ToPixelsY(int du) const { return Scale(du, char_height, 8); }
int DialogUnits::FromPixelsX(int px) const { return Scale(px, 4, char_width); }
int DialogUnits::FromPixelsY(int px) const { return Scale(px, 8, char_height); }

QFont WindowFont(const std::string& face, int points) {
  const int pt = points > 0 ? points : 8;
  if (face.empty() || SameFace(face, "MS Sans Serif")) {
    QFont f = QApplication::font();
    if (pt != 8 && f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * pt / 8.0);
    return f;
  }
  if (SameFace(face, "Arial")) return QFont(QStringLiteral("Liberation Sans"), pt);
  return QFont(QString::fromStdString(face), pt);
}

DialogUnits MeasureDialogUnits(const QFont& font) {
  const QFontMetrics fm(font);
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  DialogUnits du;
  du.char_width = std::max(1, static_cast<int>(std::lround(fm.horizontalAdvance(kLetters) / 52.0)));
  du.char_height = std::max(1, fm.height());
  return du;
}

}  // namespace mirabo::ui::qt
