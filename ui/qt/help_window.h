// The help window behind the frame's Help menu: our own pages (docs/help,
// compiled into the library) in a browser, with a word search over them.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <string>
#include <vector>

#include "ui/backend.h"

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace mirabo::ui::qt {

class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Contents shows the contents page, how-to-use the page about the help
  // window itself; search opens the search box beside the current page.
  void Show(HelpAction action);
  // Shows `page`, one of the help pages ("browsing.html"); the contents when
  // it names none.
  void ShowPage(const std::string& page);

  struct Hit {
    QString title;
    QUrl url;
  };
  // The pages that hold every word of `query`, ignoring case, contents page
  // first and the others by file name.  An empty query finds nothing.
  static std::vector<Hit> Find(const QString& query);

  QTextBrowser* browser() const { return browser_; }
  QLineEdit* search_box() const { return search_; }
  QListWidget* results() const { return results_; }

 private:
  void RunSearch();

  QTextBrowser* browser_;
  QLineEdit* search_;
  QListWidget* results_;
};

}  // namespace mirabo::ui::qt
