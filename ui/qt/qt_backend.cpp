// The Qt backend of the window model.  One file for the whole backend: its
// parts (driving the scheduler, mirroring windows, arranging them, modal
// requests, printing) are overrides of one interface sharing its state.
#include "ui/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "ui/image_source.h"
#include "ui/qt/child_arrangement.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/help_window.h"
#include "ui/qt/image_painter.h"
#include "ui/qt/lock_wait_pump.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_mirror.h"

// Resources compiled into a static library are registered by hand: nothing
// else refers to them, so the linker would drop them.
static void InitUiQtResources() { Q_INIT_RESOURCE(uiqt); }

namespace mirabo::ui::qt {

namespace {

QMessageBox::Icon BoxIcon(Icon icon) {
  switch (icon) {
    case Icon::kInformation:
      return QMessageBox::Information;
    case Icon::kExclamation:
      return QMessageBox::Warning;
    case Icon::kHand:
      return QMessageBox::Critical;
    case Icon::kQuestion:
      return QMessageBox::Question;
    case Icon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

// F1, in any window of the program, asks for the help on the window the
// user works in, as a key of the platform rather than of any one window.
class HelpKey : public QObject {
 public:
  explicit HelpKey(std::function<void()> help) : help_(std::move(help)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
      return false;
    }
    help_();
    return true;
  }

 private:
  std::function<void()> help_;
};

}  // namespace

QtBackend::QtBackend(QApplication& app) : app_(app), pump_(std::make_unique<QObject>()) {
  InitUiQtResources();
  help_key_ = std::make_unique<HelpKey>([this] { HelpOnActiveWindow(); });
  app_.installEventFilter(help_key_.get());
  // The program ends when its procedures say so, not when a window closes.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  lock_waits_ = std::make_unique<LockWaitPump>([this] { return FrameWindow(); });
  timer_ = new QTimer(pump_.get());
  timer_->setSingleShot(true);
  timer_->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer_, &QTimer::timeout, pump_.get(), [this] { RunScheduler(true); });
  QObject::connect(&app_, &QApplication::focusChanged, pump_.get(), [this](QWidget*, QWidget* now) {
    if (!now) return;
    for (auto& [w, m] : mirrors_) {
      QWidget* client = m->client();
      if (client && !m->is_frame() && (client == now || client->isAncestorOf(now))) {
        m->FocusMovedTo(now);
        return;
      }
    }
  });
}

QtBackend::~QtBackend() {
  app_.removeEventFilter(help_key_.get());
  lock_waits_.reset();
  for (auto& [w, m] : mirrors_) m->Detach();
  mirrors_.clear();
  delete help_.data();
  pump_.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---------------------------------------------------------------- driving

void QtBackend::Wake() {
  if (wake_queued_) return;
  wake_queued_ = true;
  QMetaObject::invokeMethod(
      pump_.get(),
      [this] {
        wake_queued_ = false;
        RunScheduler(false);
      },
      Qt::QueuedConnection);
}

void QtBackend::Pump() { RunScheduler(false); }

void QtBackend::RunScheduler(bool tick) {
  if (!Scheduler::Installed()) return;
  Scheduler& s = Scheduler::Get();
  if (running_) {
    // Called from an event loop nested in a run: the outer run goes round
    // once more instead.
    again_ = true;
    return;
  }
  running_ = true;
  bool first = true;
  do {
    again_ = false;
    if (!s.exited()) {
      if (tick && first) {
        s.Tick();
      } else {
        s.RunReady();
      }
    }
    first = false;
    for (auto& [w, m] : mirrors_) m->EndOfRun();
    SyncChanged();
  } while (again_ && !s.exited());
  running_ = false;
  lock_waits_->WaitOver();
  if (s.exited()) return;
  ArmTimer();
  if (end_when_idle_ && s.thread_count() == 0) s.Exit(0);
}

void QtBackend::SyncChanged() {
  if (dirty_.empty()) return;
  std::set<const Window*> dirty;
  dirty.swap(dirty_);
  // Oldest first, so a frame is up before the children that live in it.
  for (const Window* w : std::vector<const Window*>(open_order_)) {
    if (!dirty.count(w)) continue;
    if (WindowMirror* m = MirrorOf(*w)) m->Sync();
  }
}

void QtBackend::ArmTimer() {
  Scheduler& s = Scheduler::Get();
  const int64_t due = s.NextTimerDue();
  if (due < 0) {
    timer_->stop();
    return;
  }
  const int64_t wait = std::clamp<int64_t>(due - s.clock().NowMs(), 0, INT_MAX);
  timer_->start(static_cast<int>(wait));
}

// ---------------------------------------------------------------- windows

void QtBackend::WindowOpened(Window& w) {
  auto mirror = std::make_unique<WindowMirror>(*this, w);
  WindowMirror* m = mirror.get();
  mirrors_[&w] = std::move(mirror);
  open_order_.push_back(&w);
  m->Build();
  if ((w.def().flags & kMdiFrame) && !frame_) frame_ = &w;
  dirty_.insert(&w);
  Wake();
}

void QtBackend::WindowChanged(Window& w) {
  dirty_.insert(&w);
  Wake();
}

void QtBackend::WindowClosed(Window& w) {
  auto it = mirrors_.find(&w);
  if (it == mirrors_.end()) return;
  std::unique_ptr<WindowMirror> m = std::move(it->second);
  mirrors_.erase(it);
  open_order_.erase(std::remove(open_order_.begin(), open_order_.end(), &w), open_order_.end());
  dirty_.erase(&w);
  if (frame_ == &w) frame_ = nullptr;
  const bool was_maximized = m->sub() && m->sub()->isMaximized();
  m->Detach();
  QMdiArea* area = MdiArea();
  if (!area) return;
  // A window that a procedure called on its own thread (a lookup) hands the
  // focus back to its caller's window, not to whichever child was active
  // before.
  if (Scheduler::Installed()) {
    const Window* caller = Scheduler::Get().TopWindow(w.owner());
    if (WindowMirror* cm = caller ? MirrorOf(*caller) : nullptr; cm && cm->sub()) {
      area->setActiveSubWindow(cm->sub());
    }
  }
  // The children are maximized as long as one is: the window that comes to
  // the front takes the closed one's maximized state over, as it gave it up
  // when that one came in front of it.
  QMdiSubWindow* next = area->currentSubWindow();
  if (was_maximized && next && !next->isMaximized()) next->showMaximized();
  // The closed window's menus leave the frame's bar with it.
  ShowActiveChildMenus();
}

WindowMirror* QtBackend::MirrorOf(const Window& w) const {
  auto it = mirrors_.find(&w);
  return it == mirrors_.end() ? nullptr : it->second.get();
}

WindowMirror* QtBackend::MirrorOfSub(QMdiSubWindow* sub) const {
  for (const auto& [w, m] : mirrors_) {
    if (sub && m->sub() == sub) return m.get();
  }
  return nullptr;
}

WindowMirror* QtBackend::FrameMirror() const { return frame_ ? MirrorOf(*frame_) : nullptr; }

void QtBackend::ShowActiveChildMenus() {
  WindowMirror* f = FrameMirror();
  if (!f || !f->area()) return;
  f->ShowMenusOf(MirrorOfSub(f->area()->currentSubWindow()));
}

void QtBackend::ChildActivated(QMdiSubWindow* sub) {
  ShowActiveChildMenus();
  if (!Scheduler::Installed()) return;
  Scheduler& s = Scheduler::Get();
  if (!sub) {
    // The frame lost the application's focus, or the last child closed.
    if (QMdiArea* area = MdiArea(); area && !area->currentSubWindow()) s.SetActiveChild(nullptr);
    return;
  }
  WindowMirror* m = MirrorOfSub(sub);
  if (!m || !m->window()) return;
  Window* w = m->window();
  if (s.ActiveChild() != w) {
    s.SetActiveChild(w);
    m->Post(EVENT_GainFocus);
  }
  m->ApplyFocus();
}

QMainWindow* QtBackend::FrameWindow() const {
  WindowMirror* f = FrameMirror();
  return f ? f->frame_window() : nullptr;
}

QMdiArea* QtBackend::MdiArea() const {
  WindowMirror* f = FrameMirror();
  return f ? f->area() : nullptr;
}

QWidget* QtBackend::TopWidget(const Window& w) const {
  WindowMirror* m = MirrorOf(w);
  return m ? m->top() : nullptr;
}

QWidget* QtBackend::ClientWidget(const Window& w) const {
  WindowMirror* m = MirrorOf(w);
  return m ? m->client() : nullptr;
}

QWidget* QtBackend::ControlWidget(const Window& w, int id) const {
  WindowMirror* m = MirrorOf(w);
  return m ? m->ControlWidget(id) : nullptr;
}

QAction* QtBackend::MenuAction(int id) const {
  WindowMirror* f = FrameMirror();
  return f ? f->MenuAction(id) : nullptr;
}

QAbstractButton* QtBackend::ToolbarButton(int id) const {
  WindowMirror* f = FrameMirror();
  return f ? f->ToolbarButton(id) : nullptr;
}

QLabel* QtBackend::StatusZone(int zone) const {
  WindowMirror* f = FrameMirror();
  return f ? f->StatusZone(zone) : nullptr;
}

HelpWindow* QtBackend::help_window() const { return help_.data(); }

QWidget* QtBackend::DialogParent() const {
  QWidget* frame = FrameWindow();
  if (frame && frame->isVisible()) return frame;
  return QApplication::activeWindow();
}

// ---------------------------------------------------------------- arranging

void QtBackend::ArrangeChildren(Arrange how) {
  switch (how) {
    case Arrange::kTile:
      TileChildren();
      break;
    case Arrange::kCascade:
      CascadeChildren();
      break;
    case Arrange::kIcons:
      ArrangeIcons();
      break;
  }
}

namespace {

// The children that Tile and Cascade place: those shown and not minimized,
// in `order`.  A maximized one is restored first, as the arrangement shows
// them side by side.
std::vector<QMdiSubWindow*> Arrangeable(QMdiArea* area, QMdiArea::WindowOrder order) {
  std::vector<QMdiSubWindow*> out;
  for (QMdiSubWindow* s : area->subWindowList(order)) {
    if (!s->isVisible() || s->isMinimized()) continue;
    if (s->isMaximized()) s->showNormal();
    out.push_back(s);
  }
  return out;
}

QSize MinimumOf(const QMdiSubWindow* s) {
  return s->minimumSize().expandedTo(s->minimumSizeHint());
}

}  // namespace

void QtBackend::TileChildren() {
  QMdiArea* a = MdiArea();
  if (!a) return;
  const std::vector<QMdiSubWindow*> subs = Arrangeable(a, QMdiArea::CreationOrder);
  const QSize room = a->viewport()->size();
  const std::vector<QRect> cells = TileCells(static_cast<int>(subs.size()), room);
  for (size_t i = 0; i < subs.size(); ++i) {
    subs[i]->setGeometry(FitInside(cells[i], MinimumOf(subs[i]), room));
  }
}

void QtBackend::CascadeChildren() {
  QMdiArea* a = MdiArea();
  if (!a) return;
  // The window in front stays in front, at the end of the cascade.
  const std::vector<QMdiSubWindow*> subs = Arrangeable(a, QMdiArea::StackingOrder);
  const QSize room = a->viewport()->size();
  std::vector<QSize> sizes;
  for (QMdiSubWindow* s : subs) sizes.push_back(s->size());
  const std::vector<QRect> places = CascadeRects(sizes, room, CascadeStep());
  for (size_t i = 0; i < subs.size(); ++i) {
    subs[i]->setGeometry(FitInside(places[i], MinimumOf(subs[i]), room));
    subs[i]->raise();
  }
}

void QtBackend::ArrangeIcons() {
  QMdiArea* a = MdiArea();
  if (!a) return;
  const int width = a->viewport()->width();
  int x = 0;
  int bottom = a->viewport()->height();
  int row_height = 0;
  for (QMdiSubWindow* s : a->subWindowList(QMdiArea::CreationOrder)) {
    if (!s->isMinimized()) continue;
    const QSize size = s->size();
    if (x > 0 && x + size.width() > width) {
      x = 0;
      bottom -= row_height;
      row_height = 0;
    }
    s->move(x, bottom - size.height());
    x += size.width();
    row_height = std::max(row_height, size.height());
  }
}

bool QtBackend::DesktopArea(int* width, int* height) {
  // The window asking is the newest of the procedure that runs: a child is
  // placed in the frame's MDI area, the frame and other windows on the
  // screen.  Outside procedure code, the MDI area when there is one.
  const Window* asking = nullptr;
  if (Scheduler::Installed() && Scheduler::Get().Current() != 0) {
    asking = Scheduler::Get().TopWindow(Scheduler::Get().Current());
  }
  WindowMirror* f = FrameMirror();
  const bool in_area =
      f && f->area() && (!asking || ((asking->def().flags & kMdiChild) && asking != frame_));
  if (in_area) {
    QSize size = f->area()->viewport()->size();
    if (!f->shown()) {
      // Not laid out yet: the frame's size less its bars.
      QMainWindow* mw = f->frame_window();
      int bars = mw->menuBar()->sizeHint().height();
      for (QToolBar* tb : mw->findChildren<QToolBar*>()) bars += tb->sizeHint().height();
      if (mw->statusBar()) bars += mw->statusBar()->sizeHint().height();
      const int frame = 2 * f->area()->frameWidth();
      size = QSize(mw->width() - frame, mw->height() - bars - frame);
    }
    // In the asking window's own units, less what it wears around its client.
    const WindowMirror* am = asking ? MirrorOf(*asking) : nullptr;
    const DialogUnits& du = am ? am->units() : f->units();
    if (am) {
      // Whole units that fit, so a window made this large shows no scroll bars.
      size -= am->DecorationSize();
      *width = std::max(0, size.width()) * 4 / du.char_width;
      *height = std::max(0, size.height()) * 8 / du.char_height;
      return true;
    }
    *width = du.FromPixelsX(size.width());
    *height = du.FromPixelsY(size.height());
    return true;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  const DialogUnits du =
      MeasureDialogUnits(asking ? WindowFont(asking->def().font, asking->def().font_size)
                                : WindowFont("MS Sans Serif", 8));
  const QRect room = screen->availableGeometry();
  *width = du.FromPixelsX(room.width());
  *height = du.FromPixelsY(room.height());
  return true;
}

// ---------------------------------------------------------------- modal requests

void QtBackend::ShowMessage(const MessageRequest& r, std::function<void(int)> done) {
  auto* box = new QMessageBox(DialogParent());
  box->setWindowTitle(FromCp1252(r.caption));
  box->setText(FromCp1252(r.text));
  if (!r.detail.empty()) box->setInformativeText(QString::fromStdString(r.detail));
  box->setIcon(BoxIcon(r.icon));
  box->setTextFormat(Qt::PlainText);
  struct Choice {
    int bit;
    QMessageBox::StandardButton button;
    const char* text;  // our own wording, or null for Qt's
  };
  static const Choice kChoices[] = {
      {kButtonOk, QMessageBox::Ok, nullptr},
      {kButtonYes, QMessageBox::Yes, nullptr},
      {kButtonNo, QMessageBox::No, nullptr},
      {kButtonAbort, QMessageBox::Abort, "&Abort"},
      {kButtonRetry, QMessageBox::Retry, nullptr},
      {kButtonIgnore, QMessageBox::Ignore, "&Ignore"},
      {kButtonCancel, QMessageBox::Cancel, nullptr},
  };
  const int buttons = r.buttons != 0 ? r.buttons : kButtonOk;
  auto values = std::make_shared<std::map<QAbstractButton*, int>>();
  QAbstractButton* escape = nullptr;
  for (const Choice& c : kChoices) {
    if (!(buttons & c.bit)) continue;
    QPushButton* b = box->addButton(c.button);
    if (c.text) b->setText(QString::fromLatin1(c.text));
    (*values)[b] = c.bit;
    if (c.bit == r.default_button) box->setDefaultButton(b);
    if (c.bit == kButtonCancel || (c.bit == kButtonNo && !escape)) escape = b;
  }
  if (!escape && values->size() == 1) escape = values->begin()->first;
  if (escape) box->setEscapeButton(escape);
  // Closing the box without a button gives the escape button, else the
  // default button.
  const int fallback = escape ? (*values)[escape] : r.default_button;
  box->setWindowModality(Qt::ApplicationModal);
  QObject::connect(box, &QMessageBox::finished, box, [box, values, fallback, done](int) {
    auto it = values->find(box->clickedButton());
    const int answer = it != values->end() ? it->second : fallback;
    box->deleteLater();
    done(answer);
  });
  box->show();
}

void QtBackend::ShowFileDialog(const FileDialogRequest& r,
                               std::function<void(std::optional<std::string>)> done) {
  auto* dlg = new QFileDialog(DialogParent(), FromCp1252(r.title));
  dlg->setOption(QFileDialog::DontUseNativeDialog);
  dlg->setNameFilter(FileDialogFilter(r.filter));
  dlg->setDefaultSuffix(DefaultSuffix(r.filter));
  if (r.folder) {
    dlg->setAcceptMode(QFileDialog::AcceptOpen);
    dlg->setFileMode(QFileDialog::Directory);
    dlg->setOption(QFileDialog::ShowDirsOnly);
  } else if (r.save) {
    dlg->setAcceptMode(QFileDialog::AcceptSave);
    dlg->setFileMode(QFileDialog::AnyFile);
  } else {
    dlg->setAcceptMode(QFileDialog::AcceptOpen);
    dlg->setFileMode(r.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  }
  if (r.folder && !r.file.empty()) {
    dlg->setDirectory(QString::fromStdString(r.file));
  } else if (!r.file.empty()) {
    // File names are the user's own bytes, never the program's text.
    const QFileInfo start(QString::fromStdString(r.file));
    if (start.isAbsolute() || r.file.find('/') != std::string::npos) {
      dlg->setDirectory(start.absolutePath());
    }
    dlg->selectFile(start.fileName());
  }
  dlg->setWindowModality(Qt::ApplicationModal);
  QObject::connect(dlg, &QFileDialog::finished, dlg, [dlg, done](int result) {
    std::optional<std::string> answer;
    const QStringList files = dlg->selectedFiles();
    if (result == QDialog::Accepted && !files.isEmpty()) {
      std::string names;
      for (const QString& f : files) {
        if (!names.empty()) names.push_back('\0');
        names += f.toStdString();
      }
      answer = std::move(names);
    }
    dlg->deleteLater();
    done(answer);
  });
  dlg->show();
}

QPrinter& QtBackend::printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer_;
}

void QtBackend::PrinterSetup(std::function<void()> done) {
  auto* dlg = new QPrintDialog(&printer(), DialogParent());
  dlg->setWindowTitle(QStringLiteral("Print Setup"));
  dlg->setWindowModality(Qt::ApplicationModal);
  QObject::connect(dlg, &QDialog::finished, dlg, [dlg, done](int) {
    dlg->deleteLater();
    done();
  });
  dlg->show();
}

void QtBackend::ShowPopupMenu(const std::string& items, std::function<void(int)> done) {
  auto* menu = new QMenu(DialogParent());
  menu->setAttribute(Qt::WA_DeleteOnClose);
  int number = 0;
  for (QString item : FromCp1252(items).split(QLatin1Char('|'))) {
    if (item == QLatin1String("-")) {
      menu->addSeparator();
      continue;
    }
    ++number;
    bool enabled = true;
    int check = -1;  // -1 no check mark, 0 unchecked, 1 checked
    while (!item.isEmpty()) {
      if (item.startsWith(QLatin1Char('~'))) {
        enabled = false;
      } else if (item.startsWith(QLatin1Char('-'))) {
        check = 0;
      } else if (item.startsWith(QLatin1Char('+'))) {
        check = 1;
      } else {
        break;
      }
      item.remove(0, 1);
    }
    QAction* a = menu->addAction(item);
    a->setEnabled(enabled);
    a->setData(number);
    if (check >= 0) {
      a->setCheckable(true);
      a->setChecked(check == 1);
    }
  }
  // A menu closes before it reports the item chosen: the answer "nothing"
  // waits for the event loop, by which time a choice has been made or not.
  auto answered = std::make_shared<bool>(false);
  QObject::connect(menu, &QMenu::triggered, menu, [answered, done](QAction* a) {
    if (*answered) return;
    *answered = true;
    done(a->data().toInt());
  });
  QObject* context = pump_.get();
  QObject::connect(menu, &QMenu::aboutToHide, context, [context, answered, done] {
    QTimer::singleShot(0, context, [answered, done] {
      if (*answered) return;
      *answered = true;
      done(0);
    });
  });
  popup_ = menu;
  menu->popup(QCursor::pos());
}

QMenu* QtBackend::popup_menu() const { return popup_.data(); }

QDialog* QtBackend::print_dialog() const { return print_dialog_.data(); }

PrintResult PrintImages(QPrinter& printer, const std::vector<std::string>& pages) {
  PrintResult result;
  if (pages.empty()) return result;
  printer.setFullPage(true);  // positions are measured from the paper's corner
  QPainter painter;
  bool started = false;
  for (size_t i = 0; i < pages.size(); ++i) {
    std::unique_ptr<LoadedImage> image = LoadImage(pages[i]);
    const std::string error = image ? image->Error() : "It is not an image this program knows.";
    if (!error.empty()) {
      result = {PrintOutcome::kFailed,
                "Page " + std::to_string(i + 1) + " could not be printed: " + error};
      break;
    }
    if (!started) {
      if (!painter.begin(&printer)) {
        return {PrintOutcome::kFailed, "The printer could not be started."};
      }
      started = true;
    } else if (!printer.newPage()) {
      result = {PrintOutcome::kFailed, "The printer refused page " + std::to_string(i + 1) + "."};
      break;
    }
    const QSize mils = image->NaturalSize();
    const double dpi_x = printer.logicalDpiX(), dpi_y = printer.logicalDpiY();
    image->Paint(painter,
                 QRectF(0, 0, mils.width() * dpi_x / 1000.0, mils.height() * dpi_y / 1000.0));
  }
  if (started) {
    if (result.outcome == PrintOutcome::kFailed) printer.abort();
    painter.end();
  }
  return result;
}

void QtBackend::PrintPages(const PrintRequest& r, std::function<void(PrintResult)> done) {
  QPrinter& p = printer();
  p.setDocName(FromCp1252(r.job));
  p.setPrintRange(QPrinter::AllPages);
  auto* dlg = new QPrintDialog(&p, DialogParent());
  dlg->setWindowTitle(QStringLiteral("Print"));
  dlg->setWindowModality(Qt::ApplicationModal);
  dlg->setMinMax(1, static_cast<int>(r.pages.size()));
  dlg->setOption(QAbstractPrintDialog::PrintPageRange, false);
  dlg->setOption(QAbstractPrintDialog::PrintSelection, false);
  print_dialog_ = dlg;
  QObject::connect(dlg, &QDialog::finished, dlg, [dlg, done, pages = r.pages, &p](int result) {
    dlg->deleteLater();
    if (result != QDialog::Accepted) {
      done({PrintOutcome::kCancelled, ""});
      return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    PrintResult printed = PrintImages(p, pages);
    QApplication::restoreOverrideCursor();
    done(printed);
  });
  dlg->show();
}

bool QtBackend::ImageSize(const Window& w, const std::string& name, int* width, int* height) {
  WindowMirror* m = MirrorOf(w);
  if (!m) return Backend::ImageSize(w, name, width, height);
  int mw = 0, mh = 0;
  if (!MeasureImage(name, &mw, &mh)) return false;
  // At 100 percent a page is as large on the screen as on paper.
  QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi_x = screen ? screen->logicalDotsPerInchX() : 96.0;
  const double dpi_y = screen ? screen->logicalDotsPerInchY() : 96.0;
  *width = m->units().FromPixelsX(static_cast<int>(std::lround(mw * dpi_x / 1000.0)));
  *height = m->units().FromPixelsY(static_cast<int>(std::lround(mh * dpi_y / 1000.0)));
  return true;
}

void QtBackend::Edit(EditAction action) {
  QWidget* w = QApplication::focusWidget();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    switch (action) {
      case EditAction::kCut:
        edit->cut();
        break;
      case EditAction::kCopy:
        edit->copy();
        break;
      case EditAction::kPaste:
        edit->paste();
        break;
    }
    return;
  }
  // A list copies its highlighted row, one tab between cells.
  auto* table = qobject_cast<QTableView*>(w);
  if (!table || action != EditAction::kCopy) return;
  const QModelIndex current = table->currentIndex();
  if (!current.isValid()) return;
  QStringList cells;
  for (int c = 0; c < table->model()->columnCount(); ++c) {
    cells << table->model()->index(current.row(), c).data().toString().trimmed();
  }
  QApplication::clipboard()->setText(cells.join(QLatin1Char('\t')));
}

void QtBackend::Help(HelpAction action) {
  if (!help_) help_ = new HelpWindow;
  help_->Show(action);
}

void QtBackend::HelpOnActiveWindow() {
  QWidget* active = QApplication::activeWindow();
  if (help_ && active == help_.data()) {
    help_->Show(HelpAction::kHowToUse);
    return;
  }
  // A window of the model in front, else (the frame, or a box of the
  // platform's) the child in front in the frame, else the frame.
  const Window* shown = nullptr;
  for (const auto& [w, m] : mirrors_) {
    if (!m->is_mdi_child() && !m->is_frame() && m->top() == active) shown = w;
  }
  if (!shown) {
    if (WindowMirror* f = FrameMirror()) {
      WindowMirror* child = f->area() ? MirrorOfSub(f->area()->currentSubWindow()) : nullptr;
      shown = child ? child->window() : f->window();
    }
  }
  if (!help_) help_ = new HelpWindow;
  help_->ShowPage(shown ? shown->def().help : std::string());
}

void QtBackend::Beep() { QApplication::beep(); }

void QtBackend::Quit(int exit_code) {
  quit_code_ = exit_code;
  timer_->stop();
  QCoreApplication::exit(exit_code);
}

// ---------------------------------------------------------------- entry

int RunEventLoop(QApplication& app, Scheduler& scheduler) {
  if (auto* qt = dynamic_cast<QtBackend*>(&scheduler.backend())) {
    qt->set_end_when_idle(true);
    qt->Wake();
  }
  if (scheduler.exited()) return scheduler.exit_code();
  const int rc = app.exec();
  return scheduler.exited() ? scheduler.exit_code() : rc;
}

bool DisplayAvailable(const std::function<const char*(const char*)>& getenv) {
  auto get = [&](const char* name) -> std::string {
    const char* v = getenv ? getenv(name) : std::getenv(name);
    return v ? std::string(v) : std::string();
  };
  const bool x11 = !get("DISPLAY").empty();
  const bool wayland = !get("WAYLAND_DISPLAY").empty();
  const std::string platforms = get("QT_QPA_PLATFORM");
  if (platforms.empty()) return x11 || wayland;
  // "wayland;xcb" names the ones to try in turn; ":options" follow a name.
  size_t start = 0;
  while (start <= platforms.size()) {
    size_t end = platforms.find(';', start);
    if (end == std::string::npos) end = platforms.size();
    std::string name = platforms.substr(start, end - start);
    name = name.substr(0, name.find(':'));
    if (name == "xcb") {
      if (x11) return true;
    } else if (name.rfind("wayland", 0) == 0) {
      if (wayland) return true;
    } else if (!name.empty()) {
      return true;  // offscreen, minimal, vnc, eglfs, linuxfb: no display server to reach
    }
    start = end + 1;
  }
  return false;
}

std::string NoDisplayAdvice() {
  return "There is no display to show the program's windows on.\n"
         "Run it on a desktop, or with a virtual X server:  xvfb-run <program>\n"
         "or without any display:  QT_QPA_PLATFORM=offscreen <program>\n";
}

}  // namespace mirabo::ui::qt
