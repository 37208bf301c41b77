#include "ui/qt/child_arrangement.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace mirabo::ui::qt {

std::vector<QRect> TileCells(int count, QSize area) {
  std::vector<QRect> cells;
  if (count <= 0) return cells;
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  const int rows = (count + columns - 1) / columns;
  const int short_columns = columns * rows - count;  // columns holding rows - 1 windows
  for (int c = 0; c < columns; ++c) {
    const int left = area.width() * c / columns;
    const int right = area.width() * (c + 1) / columns;
    const int in_column = c < short_columns ? rows - 1 : rows;
    for (int r = 0; r < in_column; ++r) {
      const int top = area.height() * r / in_column;
      const int bottom = area.height() * (r + 1) / in_column;
      cells.emplace_back(left, top, right - left, bottom - top);
    }
  }
  return cells;
}

std::vector<QRect> CascadeRects(const std::vector<QSize>& sizes, QSize area, int step) {
  std::vector<QRect> out;
  step = std::max(1, step);
  int k = 0;
  for (const QSize& s : sizes) {
    QSize size(std::min(s.width(), area.width()), std::min(s.height(), area.height()));
    QPoint at(k * step, k * step);
    const bool room =
        at.x() + size.width() / 2 <= area.width() && at.y() + size.height() / 2 <= area.height();
    if (k > 0 && !room) {
      k = 0;
      at = QPoint(0, 0);
    }
    size = size.boundedTo(QSize(area.width() - at.x(), area.height() - at.y()));
    out.emplace_back(at, size);
    ++k;
  }
  return out;
}

int CascadeStep() { return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4; }

QRect FitInside(QRect wanted, QSize minimum, QSize area) {
  QRect r(wanted.topLeft(), wanted.size().expandedTo(minimum));
  r.moveLeft(std::max(0, std::min(r.left(), area.width() - r.width())));
  r.moveTop(std::max(0, std::min(r.top(), area.height() - r.height())));
  return r;
}

}  // namespace mirabo::ui::qt
