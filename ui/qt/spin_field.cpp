#include "ui/qt/spin_field.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <cmath>

namespace mirabo::ui::qt {

SpinField::SpinField(int digits, QWidget* parent) : QSpinBox(parent) {
  // Typing may go as far as the picture's digits; the arrows keep to the range.
  const int widest =
      digits > 0 && digits < 10 ? static_cast<int>(std::pow(10, digits)) - 1 : 999999999;
  QSpinBox::setRange(-widest, widest);
  setKeyboardTracking(false);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

void SpinField::SetRange(int low, int high) {
  low_ = low;
  high_ = std::max(low, high);
}

void SpinField::ShowValue(int value) {
  quiet_ = true;
  setValue(value);
  quiet_ = false;
}

void SpinField::stepBy(int steps) {
  const int from = std::clamp(value(), low_, high_);
  const int to = std::clamp(from + steps, low_, high_);
  if (to == value()) return;
  ShowValue(to);
  selectAll();
  if (on_step) on_step(to);
}

QAbstractSpinBox::StepEnabled SpinField::stepEnabled() const {
  StepEnabled e = StepNone;
  if (value() < high_) e |= StepUpEnabled;
  if (value() > low_) e |= StepDownEnabled;
  return e;
}

void SpinField::Commit() {
  if (quiet_) return;
  interpretText();
  if (on_entered) on_entered(text());
  lineEdit()->setModified(false);
}

void SpinField::focusOutEvent(QFocusEvent* e) {
  const bool edited = lineEdit()->isModified();
  const Qt::FocusReason r = e->reason();
  QSpinBox::focusOutEvent(e);
  if (edited || r == Qt::TabFocusReason || r == Qt::BacktabFocusReason) Commit();
}

void SpinField::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) Commit();
  QSpinBox::keyPressEvent(e);
}

}  // namespace mirabo::ui::qt
