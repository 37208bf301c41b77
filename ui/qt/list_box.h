// The list box: the page of rows that a browse shows, and beside it the
// key-stop thumb.
//
// The control is not a scrolling view of a longer list.  It shows exactly the
// rows of the model (already formatted), and the scroll bar is the 0-100
// thumb of the model, not a row position.  So the table's own scrolling is
// switched off, and every key, wheel turn or thumb movement that would move
// past the page becomes an event for the procedure, which reads the next rows
// and hands us a new page:
//
//   Up / Down inside the page       the highlight moves: selected, NewSelection
//   Up on the first row             ScrollUp
//   Down on the last row            ScrollDown
//   PageUp / PageDown               PageUp / PageDown
//   Home, End (with or without Ctrl) ScrollTop, ScrollBottom
//   wheel                           as Up / Down, one row a notch
//   thumb dragged                   the thumb into the model, ScrollDrag
//   click on a row                  selected, NewSelection
//   right click                     selected, NewSelection with key MouseRight
//   double click, Insert, Delete,   AlertKey with the key, when the window
//   Ctrl+Enter                      alerts it
//   a printable character           AlertKey with kCharKeyBase + its byte
//
// Typed characters are always passed on: they feed the browse's locator.
// The number of rows that fit is measured here and written into the model
// (visible_rows); a change after the window opened raises EVENT_Sized.
#pragma once

#include <QFrame>
#include <QPointer>
#include <string>
#include <vector>

#include "ui/list_format.h"
#include "ui/qt/dialog_units.h"
#include "ui/window.h"

class QKeyEvent;
class QScrollBar;
class QTableView;

namespace mirabo::ui::qt {

class WindowMirror;
class ListModel;
class ListView;

class ListBox : public QFrame {
 public:
  // `format` is the list's format string; a list without a usable one gets a
  // column for each cell of its rows.
  ListBox(WindowMirror& mirror, int id, const std::string& format, const DialogUnits& units,
          const QFont& font, QWidget* parent);
  ~ListBox() override;

  // Brings the widget up to the model's rows, highlight and thumb.  Nothing
  // here writes to the model or posts events.
  void Sync(const Control& c);

  // Rows that fit a list box `height` pixels high; at least one.
  int RowsFitting(int height) const;
  // The height that shows the header, one row and a horizontal scroll bar.
  int MinimumHeight() const;
  int row_height() const { return row_height_; }

  QTableView* view() const;
  QScrollBar* thumb() const { return thumb_; }

  // Called after each scheduler run: the procedure has seen the thumb drag.
  void EndOfRun() { drag_posted_ = false; }

 private:
  friend class ListView;

  Control* model() const;
  void MoveHighlight(int row);
  void Post(int code, int key = 0);
  void PostAlert(int key);
  void KeyPressed(QKeyEvent* e);
  void Clicked(int row, Qt::MouseButton button);
  void DoubleClicked(int row, Qt::MouseButton button);
  void Wheel(int steps);  // >0 towards the top
  void ViewportResized();
  void ThumbAction(int action);
  void ThumbMoved(int value);
  void Up();
  void Down();

  QPointer<WindowMirror> mirror_;
  int id_;
  std::vector<ListColumn> columns_;
  DialogUnits units_;
  ListModel* model_ = nullptr;
  ListView* view_ = nullptr;
  QScrollBar* thumb_ = nullptr;
  int row_height_ = 16;
  int wheel_rest_ = 0;
  bool syncing_ = false;
  bool drag_posted_ = false;
  std::vector<std::vector<std::string>> shown_rows_;
};

}  // namespace mirabo::ui::qt
