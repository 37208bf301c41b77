// The surface that holds a window's controls at their places: the widget
// inside a child window's frame, or the top-level window itself.  It lays the
// controls out again whenever its size changes, and a window that shows its
// default button answers the dialog keys.
#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>

#include "ui/qt/window_mirror.h"

class QPushButton;

namespace mirabo::ui::qt {

// The marks of the push buttons that Enter and Escape press, and of the
// entries where Enter only completes the entry (ControlDef::locator).
inline constexpr char kDefaultButtonProperty[] = "mirabo_default";
inline constexpr char kCancelButtonProperty[] = "mirabo_cancel";
inline constexpr char kLocatorProperty[] = "mirabo_locator";

class ClientArea : public QWidget {
 public:
  // `border`: a window without a caption still needs an edge.
  ClientArea(WindowMirror& mirror, bool border);

  // The size the window's frame is made for (its normal placement).
  void SetDesiredSize(QSize s);
  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* e) override;
  // A window that shows its default button acts as a dialog: Enter presses
  // that button and Escape the cancel button.  Enter in an entry completes
  // the entry first (the procedure sees what was typed, then the button);
  // in a locator it does no more: the user sees what it found before choosing.
  void keyPressEvent(QKeyEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  // The button marked with `property` when it shows and can be pressed.
  QPushButton* Showing(const char* property) const;

  QPointer<WindowMirror> mirror_;
  bool border_;
  QSize desired_;
};

}  // namespace mirabo::ui::qt
