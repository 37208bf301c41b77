#include "ui/qt/client_area.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

namespace mirabo::ui::qt {

ClientArea::ClientArea(WindowMirror& mirror, bool border) : mirror_(&mirror), border_(border) {}

void ClientArea::SetDesiredSize(QSize s) {
  if (s == desired_) return;
  desired_ = s;
  updateGeometry();
}

QSize ClientArea::sizeHint() const { return desired_.isValid() ? desired_ : QWidget::sizeHint(); }

void ClientArea::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (mirror_) mirror_->ClientResized();
}

void ClientArea::keyPressEvent(QKeyEvent* e) {
  const auto mods = e->modifiers() & ~Qt::KeypadModifier;
  const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
  const bool escape = e->key() == Qt::Key_Escape;
  QPushButton* const default_button = Showing(kDefaultButtonProperty);
  if (mods == Qt::NoModifier && default_button) {
    const QWidget* focus = QApplication::focusWidget();
    if (enter && !(focus && focus->property(kLocatorProperty).toBool())) {
      default_button->click();
      return;
    }
    if (escape) {
      if (QPushButton* cancel = Showing(kCancelButtonProperty)) {
        cancel->click();
        return;
      }
    }
  }
  QWidget::keyPressEvent(e);
}

QPushButton* ClientArea::Showing(const char* property) const {
  for (QPushButton* b : findChildren<QPushButton*>()) {
    if (b->property(property).toBool() && b->isVisible() && b->isEnabled()) return b;
  }
  return nullptr;
}

void ClientArea::paintEvent(QPaintEvent* e) {
  QWidget::paintEvent(e);
  if (!border_) return;
  QPainter p(this);
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace mirabo::ui::qt
