#include "ui/qt/help_window.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

namespace mirabo::ui::qt {
namespace {

const QString kHelpDir = QStringLiteral(":/mirabo/help");

QUrl PageUrl(const QString& file) { return QUrl(QStringLiteral("qrc%1/%2").arg(kHelpDir, file)); }

struct Page {
  QString file;
  QString title;
  QString text;  // plain text, for searching
};

const std::vector<Page>& Pages() {
  static const std::vector<Page> pages = [] {
    std::vector<Page> out;
    QStringList files =
        QDir(kHelpDir).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    if (files.removeOne(QStringLiteral("index.html"))) files.prepend(QStringLiteral("index.html"));
    static const QRegularExpression title_re(
        QStringLiteral("<title>(.*?)</title>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    for (const QString& f : files) {
      QFile file(kHelpDir + QLatin1Char('/') + f);
      if (!file.open(QIODevice::ReadOnly)) continue;
      const QString html = QString::fromUtf8(file.readAll());
      QTextDocument doc;
      doc.setHtml(html);
      const QRegularExpressionMatch m = title_re.match(html);
      out.push_back({f, m.hasMatch() ? m.captured(1).trimmed() : f, doc.toPlainText()});
    }
    return out;
  }();
  return pages;
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Mirabo Features Database Browser Help"));
  auto* contents = new QPushButton(QStringLiteral("&Contents"));
  auto* back = new QPushButton(QStringLiteral("&Back"));
  auto* forward = new QPushButton(QStringLiteral("&Forward"));
  search_ = new QLineEdit;
  search_->setPlaceholderText(QStringLiteral("Words to find"));
  search_->setClearButtonEnabled(true);
  auto* find = new QPushButton(QStringLiteral("F&ind"));
  auto* find_label = new QLabel(QStringLiteral("&Search for:"));
  find_label->setBuddy(search_);

  auto* bar = new QHBoxLayout;
  bar->addWidget(contents);
  bar->addWidget(back);
  bar->addWidget(forward);
  bar->addStretch(1);
  bar->addWidget(find_label);
  bar->addWidget(search_, 2);
  bar->addWidget(find);

  browser_ = new QTextBrowser;
  browser_->setOpenExternalLinks(true);
  results_ = new QListWidget;
  results_->hide();
  auto* split = new QSplitter;
  split->addWidget(results_);
  split->addWidget(browser_);
  split->setStretchFactor(1, 3);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(split, 1);
  resize(720, 520);

  connect(contents, &QPushButton::clicked, this, [this] { Show(HelpAction::kContents); });
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
  connect(find, &QPushButton::clicked, this, [this] { RunSearch(); });
  connect(search_, &QLineEdit::returnPressed, this, [this] { RunSearch(); });
  connect(results_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { browser_->setSource(item->data(Qt::UserRole).toUrl()); });
  connect(results_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { browser_->setSource(item->data(Qt::UserRole).toUrl()); });
  back->setEnabled(false);
  forward->setEnabled(false);
}

void HelpWindow::ShowPage(const std::string& page) {
  const QString file = QString::fromStdString(page);
  const bool known =
      std::any_of(Pages().begin(), Pages().end(), [&](const Page& p) { return p.file == file; });
  if (!known) {
    Show(HelpAction::kContents);
    return;
  }
  results_->hide();
  browser_->setSource(PageUrl(file));
  show();
  raise();
  activateWindow();
}

void HelpWindow::Show(HelpAction action) {
  switch (action) {
    case HelpAction::kContents:
      results_->hide();
      browser_->setSource(PageUrl(QStringLiteral("index.html")));
      break;
    case HelpAction::kHowToUse:
      results_->hide();
      browser_->setSource(PageUrl(QStringLiteral("howto.html")));
      break;
    case HelpAction::kSearch:
      if (browser_->source().isEmpty()) browser_->setSource(PageUrl(QStringLiteral("index.html")));
      results_->show();
      break;
  }
  show();
  raise();
  activateWindow();
  if (action == HelpAction::kSearch) {
    search_->setFocus();
    search_->selectAll();
  }
}

std::vector<HelpWindow::Hit> HelpWindow::Find(const QString& query) {
  const QStringList words =
      query.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  std::vector<Hit> hits;
  if (words.isEmpty()) return hits;
  for (const Page& p : Pages()) {
    bool all = true;
    for (const QString& w : words) all = all && p.text.contains(w, Qt::CaseInsensitive);
    if (all) hits.push_back({p.title, PageUrl(p.file)});
  }
  return hits;
}

void HelpWindow::RunSearch() {
  results_->show();
  results_->clear();
  const std::vector<Hit> hits = Find(search_->text());
  if (hits.empty()) {
    auto* none = new QListWidgetItem(QStringLiteral("(no page holds these words)"), results_);
    none->setFlags(Qt::NoItemFlags);
    return;
  }
  for (const Hit& h : hits) {
    auto* item = new QListWidgetItem(h.title, results_);
    item->setData(Qt::UserRole, h.url);
  }
  results_->setCurrentRow(0);
  browser_->setSource(hits.front().url);
}

}  // namespace mirabo::ui::qt
