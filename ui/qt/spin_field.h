// The widget of a spin field: a number with arrows that step within the
// field's range, and typing that may go beyond it (the window model then
// rejects the entry and the procedure pulls it back to the nearest bound).
#pragma once

#include <QSpinBox>
#include <functional>

namespace mirabo::ui::qt {

class SpinField : public QSpinBox {
 public:
  // `digits`: how many digits the field's picture holds (0: no limit).
  SpinField(int digits, QWidget* parent);

  void SetRange(int low, int high);
  int low() const { return low_; }
  int high() const { return high_; }
  // Shows `value` without telling anybody.
  void ShowValue(int value);

  // The arrows (or the arrow keys) stepped to a new value.
  std::function<void(int)> on_step;
  // The user completed an entry (Enter, Tab, or leaving after an edit).
  std::function<void(const QString&)> on_entered;

  void stepBy(int steps) override;

 protected:
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Commit();
  int low_ = 0, high_ = 100;
  bool quiet_ = false;
};

}  // namespace mirabo::ui::qt
