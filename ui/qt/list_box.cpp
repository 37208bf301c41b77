#include "ui/qt/list_box.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "ui/qt/qt_text.h"
#include "ui/qt/window_mirror.h"

namespace mirabo::ui::qt {

namespace {

Qt::Alignment AlignmentOf(char justify) {
  switch (justify) {
    case 'R':
    case 'D':
      return Qt::AlignRight | Qt::AlignVCenter;
    case 'C':
      return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// Cells arrive formatted to their picture's width: a left-justified cell
// keeps its leading blanks (they are part of the layout), the others are
// placed by their justification and lose the padding.
QString CellText(const std::string& cell, char justify) {
  QString s = FromCp1252(cell);
  if (justify == 'L') {
    qsizetype end = s.size();
    while (end > 0 && s[end - 1] == QLatin1Char(' ')) --end;
    s.truncate(end);
    return s;
  }
  return s.trimmed();
}

struct ColumnLook {
  char justify = 'L';
  int indent_px = 0;
  bool right_border = false;
  bool underline = false;
};

}  // namespace

class ListModel : public QAbstractTableModel {
 public:
  std::vector<ColumnLook> looks;
  QStringList headers;
  std::vector<Qt::Alignment> header_align;
  QList<QStringList> rows;

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(looks.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rows.size()) return {};
    if (role == Qt::DisplayRole) return rows[index.row()].value(index.column());
    if (role == Qt::TextAlignmentRole) {
      return QVariant::fromValue(AlignmentOf(looks[static_cast<size_t>(index.column())].justify));
    }
    return {};
  }
  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o != Qt::Horizontal || section < 0 || section >= static_cast<int>(looks.size())) return {};
    if (role == Qt::DisplayRole) return headers.value(section);
    if (role == Qt::TextAlignmentRole) {
      return QVariant::fromValue(header_align[static_cast<size_t>(section)]);
    }
    return {};
  }
  void SetRows(QList<QStringList> r) {
    beginResetModel();
    rows = std::move(r);
    endResetModel();
  }
};

// Paints a cell with its column's indent (from the left for L, from the right
// for R and D, as an offset for C) and its border and underline, while the
// highlight still fills the whole cell.
class ListDelegate : public QStyledItemDelegate {
 public:
  ListDelegate(const ListModel& model, QObject* parent)
      : QStyledItemDelegate(parent), model_(model) {}

  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem o(option);
    initStyleOption(&o, index);
    const QString text = o.text;
    o.text.clear();
    const QWidget* w = o.widget;
    QStyle* style = w ? w->style() : nullptr;
    if (style) style->drawControl(QStyle::CE_ItemViewItem, &o, p, w);
    const ColumnLook& look = model_.looks[static_cast<size_t>(index.column())];
    const int margin = 2;
    QRect r = o.rect.adjusted(margin, 0, -margin, 0);
    switch (look.justify) {
      case 'R':
      case 'D':
        r.setRight(r.right() - look.indent_px);
        break;
      case 'C':
        r.translate(look.indent_px, 0);
        break;
      default:
        r.setLeft(r.left() + look.indent_px);
        break;
    }
    const bool selected = (o.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group =
        (o.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    p->save();
    p->setPen(o.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    p->setFont(o.font);
    const QString shown = o.fontMetrics.elidedText(text, Qt::ElideRight, std::max(0, r.width()));
    p->drawText(r, static_cast<int>(AlignmentOf(look.justify)), shown);
    if (look.right_border || look.underline) {
      p->setPen(o.palette.color(QPalette::Mid));
      if (look.right_border) p->drawLine(o.rect.topRight(), o.rect.bottomRight());
      if (look.underline) p->drawLine(o.rect.bottomLeft(), o.rect.bottomRight());
    }
    p->restore();
  }

 private:
  const ListModel& model_;
};

class ListView : public QTableView {
 public:
  explicit ListView(ListBox& box, QWidget* parent) : QTableView(parent), box_(box) {}

  // The page never scrolls: the procedure brings other rows in.
  void scrollTo(const QModelIndex&, ScrollHint) override {}

 protected:
  void keyPressEvent(QKeyEvent* e) override { box_.KeyPressed(e); }
  void mousePressEvent(QMouseEvent* e) override {
    setFocus(Qt::MouseFocusReason);
    box_.Clicked(rowAt(e->position().toPoint().y()), e->button());
    e->accept();
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    box_.DoubleClicked(rowAt(e->position().toPoint().y()), e->button());
    e->accept();
  }
  void mouseMoveEvent(QMouseEvent* e) override { e->accept(); }
  void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
  void wheelEvent(QWheelEvent* e) override {
    const QPoint d = e->angleDelta();
    if (std::abs(d.y()) >= std::abs(d.x())) {
      box_.wheel_rest_ += d.y();
      const int steps = box_.wheel_rest_ / 120;
      box_.wheel_rest_ -= steps * 120;
      if (steps != 0) box_.Wheel(steps);
      e->accept();
      return;
    }
    QTableView::wheelEvent(e);
  }
  bool viewportEvent(QEvent* e) override {
    const bool r = QTableView::viewportEvent(e);
    if (e->type() == QEvent::Resize) box_.ViewportResized();
    return r;
  }

 private:
  ListBox& box_;
};

ListBox::ListBox(WindowMirror& mirror, int id, const std::string& format, const DialogUnits& units,
                 const QFont& font, QWidget* parent)
    : QFrame(parent), mirror_(&mirror), id_(id), columns_(ParseListFormat(format)), units_(units) {
  model_ = new ListModel;
  model_->setParent(this);
  view_ = new ListView(*this, this);
  view_->setFont(font);
  view_->setModel(model_);
  view_->setItemDelegate(new ListDelegate(*model_, view_));
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setTabKeyNavigation(false);
  view_->setShowGrid(false);
  view_->setWordWrap(false);
  view_->setCornerButtonEnabled(false);
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view_->setFocusPolicy(Qt::StrongFocus);
  view_->verticalHeader()->hide();
  row_height_ = QFontMetrics(font).height() + 4;
  view_->verticalHeader()->setMinimumSectionSize(1);
  view_->verticalHeader()->setDefaultSectionSize(row_height_);
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->horizontalHeader()->setFont(font);
  view_->horizontalHeader()->setHighlightSections(false);
  view_->horizontalHeader()->setSectionsClickable(false);
  view_->horizontalHeader()->setStretchLastSection(true);

  for (const ListColumn& c : columns_) {
    model_->looks.push_back({c.justify, units_.ToPixelsX(c.indent), c.right_border, c.underline});
    model_->headers << FromCp1252(c.header);
    model_->header_align.push_back(AlignmentOf(c.header_justify));
  }
  bool any_header = false;
  for (const ListColumn& c : columns_) any_header = any_header || !c.header.empty();
  view_->horizontalHeader()->setVisible(any_header);
  model_->SetRows({});
  for (size_t i = 0; i < columns_.size(); ++i) {
    const int col = static_cast<int>(i);
    view_->horizontalHeader()->setSectionResizeMode(
        col, columns_[i].resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
    view_->setColumnWidth(col, units_.ToPixelsX(columns_[i].width));
  }

  thumb_ = new QScrollBar(Qt::Vertical, this);
  thumb_->setRange(0, 100);
  thumb_->setSingleStep(1);
  thumb_->setPageStep(10);
  thumb_->setFocusPolicy(Qt::NoFocus);
  thumb_->hide();
  connect(thumb_, &QScrollBar::actionTriggered, this, [this](int a) { ThumbAction(a); });
  connect(thumb_, &QScrollBar::sliderMoved, this, [this](int v) { ThumbMoved(v); });

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_, 1);
  layout->addWidget(thumb_);
  setFocusProxy(view_);
}

ListBox::~ListBox() = default;

QTableView* ListBox::view() const { return view_; }

Control* ListBox::model() const {
  if (!mirror_ || !mirror_->window()) return nullptr;
  return mirror_->window()->Find(id_);
}

int ListBox::RowsFitting(int height) const {
  int h = height - 2 * view_->frameWidth();
  if (!view_->horizontalHeader()->isHidden()) {
    h -= std::max(view_->horizontalHeader()->minimumHeight(),
                  view_->horizontalHeader()->sizeHint().height());
  }
  return std::max(1, h / row_height_);
}

int ListBox::MinimumHeight() const {
  int h = 2 * view_->frameWidth() + row_height_ +
          view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view_);
  if (!view_->horizontalHeader()->isHidden()) {
    h += std::max(view_->horizontalHeader()->minimumHeight(),
                  view_->horizontalHeader()->sizeHint().height());
  }
  return h;
}

void ListBox::Sync(const Control& c) {
  syncing_ = true;
  if (c.rows != shown_rows_) {
    if (model_->looks.empty() && !c.rows.empty()) {
      // No usable format: one plain column per cell, sharing the width.
      const int n = static_cast<int>(c.rows.front().size());
      for (int i = 0; i < n; ++i) {
        model_->looks.push_back({});
        model_->headers << QString();
        model_->header_align.push_back(AlignmentOf('L'));
      }
      model_->SetRows({});
      for (int i = 0; i < n; ++i) view_->setColumnWidth(i, std::max(1, view_->width() / n));
    }
    QList<QStringList> rows;
    rows.reserve(static_cast<qsizetype>(c.rows.size()));
    for (const auto& r : c.rows) {
      QStringList cells;
      for (size_t i = 0; i < r.size(); ++i) {
        const char j = i < model_->looks.size() ? model_->looks[i].justify : 'L';
        cells << CellText(r[i], j);
      }
      rows << cells;
    }
    model_->SetRows(std::move(rows));
    shown_rows_ = c.rows;
  }
  const int row = c.selected - 1;
  if (row >= 0 && row < model_->rowCount({})) {
    const QModelIndex index = model_->index(row, 0);
    if (view_->selectionModel()->currentIndex().row() != row ||
        !view_->selectionModel()->isRowSelected(row, {})) {
      view_->selectionModel()->setCurrentIndex(
          index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
  } else if (view_->selectionModel()->hasSelection() ||
             view_->selectionModel()->currentIndex().isValid()) {
    view_->selectionModel()->clear();
  }
  view_->verticalScrollBar()->setValue(0);
  if (thumb_->isHidden() == c.scrollbar) thumb_->setVisible(c.scrollbar);
  if (!thumb_->isSliderDown() && thumb_->value() != c.thumb) thumb_->setValue(c.thumb);
  syncing_ = false;
}

void ListBox::Post(int code, int key) {
  if (mirror_) mirror_->Post(code, id_, key);
}

void ListBox::PostAlert(int key) {
  if (mirror_ && mirror_->window() && mirror_->window()->Alerted(key)) Post(EVENT_AlertKey, key);
}

void ListBox::MoveHighlight(int row) {
  Window* w = mirror_ ? mirror_->window() : nullptr;
  if (!w) return;
  w->SetSelected(id_, row);
  if (row >= 1 && row <= model_->rowCount({})) {
    syncing_ = true;
    view_->selectionModel()->setCurrentIndex(
        model_->index(row - 1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    syncing_ = false;
  }
  Post(EVENT_NewSelection);
}

void ListBox::Up() {
  const Control* c = model();
  if (!c) return;
  const int n = static_cast<int>(c->rows.size());
  if (c->selected > 1 && c->selected <= n) {
    MoveHighlight(c->selected - 1);
  } else {
    Post(EVENT_ScrollUp);
  }
}

void ListBox::Down() {
  const Control* c = model();
  if (!c) return;
  const int n = static_cast<int>(c->rows.size());
  if (c->selected >= 1 && c->selected < n) {
    MoveHighlight(c->selected + 1);
  } else if (c->selected == 0 && n > 0) {
    MoveHighlight(1);
  } else {
    Post(EVENT_ScrollDown);
  }
}

void ListBox::KeyPressed(QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = (mods & Qt::ControlModifier) != 0;
  switch (e->key()) {
    case Qt::Key_Up:
      Up();
      break;
    case Qt::Key_Down:
      Down();
      break;
    case Qt::Key_PageUp:
      Post(EVENT_PageUp);
      break;
    case Qt::Key_PageDown:
      Post(EVENT_PageDown);
      break;
    case Qt::Key_Home:
      Post(EVENT_ScrollTop);
      break;
    case Qt::Key_End:
      Post(EVENT_ScrollBottom);
      break;
    case Qt::Key_Insert:
      PostAlert(InsertKey);
      break;
    case Qt::Key_Delete:
      PostAlert(DeleteKey);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (ctrl && mirror_ && mirror_->window() && mirror_->window()->Alerted(CtrlEnter)) {
        Post(EVENT_AlertKey, CtrlEnter);
        break;
      }
      e->ignore();  // the window's default button
      return;
    default: {
      const QString text = e->text();
      if (ctrl || (mods & (Qt::AltModifier | Qt::MetaModifier)) || text.isEmpty() ||
          !text.at(0).isPrint()) {
        e->ignore();
        return;
      }
      const QString one = text.left(text.at(0).isHighSurrogate() ? 2 : 1);
      if (!FitsCp1252(one)) {
        e->ignore();
        return;
      }
      const std::string byte = ToCp1252(one);
      Post(EVENT_AlertKey, kCharKeyBase + static_cast<unsigned char>(byte[0]));
      break;
    }
  }
  e->accept();
}

void ListBox::Clicked(int row, Qt::MouseButton button) {
  Window* w = mirror_ ? mirror_->window() : nullptr;
  if (!w) return;
  if (button != Qt::LeftButton && button != Qt::RightButton) return;
  if (row >= 0) {
    w->SetSelected(id_, row + 1);
    syncing_ = true;
    view_->selectionModel()->setCurrentIndex(
        model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    syncing_ = false;
  } else if (button == Qt::LeftButton) {
    return;  // below the rows: nothing to pick
  }
  Post(EVENT_NewSelection, button == Qt::RightButton ? MouseRight : 0);
}

void ListBox::DoubleClicked(int row, Qt::MouseButton button) {
  // The second press of a double click arrives as the double click itself:
  // it picks its row like a single press would.
  const Control* c = model();
  if (c && row >= 0 && c->selected != row + 1) Clicked(row, button);
  if (button == Qt::LeftButton) PostAlert(MouseLeft2);
  if (button == Qt::RightButton) PostAlert(MouseRight2);
}

void ListBox::Wheel(int steps) {
  for (; steps > 0; --steps) Up();
  for (; steps < 0; ++steps) Down();
}

void ListBox::ViewportResized() {
  if (!mirror_) return;
  const int rows = std::max(1, view_->viewport()->height() / row_height_);
  mirror_->ListRowsMeasured(id_, rows);
}

void ListBox::ThumbAction(int action) {
  if (syncing_) return;
  int code = 0;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      code = EVENT_ScrollDown;
      break;
    case QAbstractSlider::SliderSingleStepSub:
      code = EVENT_ScrollUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      code = EVENT_PageDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      code = EVENT_PageUp;
      break;
    case QAbstractSlider::SliderToMinimum:
      code = EVENT_ScrollTop;
      break;
    case QAbstractSlider::SliderToMaximum:
      code = EVENT_ScrollBottom;
      break;
    default:
      return;  // a drag: ThumbMoved
  }
  // The arrows and the groove ask for rows, not for a thumb position: the
  // thumb stays where the procedure put it.
  if (const Control* c = model()) thumb_->setSliderPosition(c->thumb);
  Post(code);
}

void ListBox::ThumbMoved(int value) {
  if (syncing_) return;
  Window* w = mirror_ ? mirror_->window() : nullptr;
  if (!w) return;
  w->SetThumb(id_, value);
  // One drag event is enough until the procedure has run: it reads the thumb
  // as it is then, which is the newest position.
  if (!drag_posted_) {
    drag_posted_ = true;
    Post(EVENT_ScrollDrag);
  }
}

}  // namespace mirabo::ui::qt
