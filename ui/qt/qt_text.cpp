#include "ui/qt/qt_text.h"

#include <QStringList>
#include <optional>
#include <vector>

#include "runtime/text.h"

namespace mirabo::ui::qt {
namespace {

// The model's byte for one Unicode character, or nothing.
std::optional<std::string> OneChar(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  const QByteArray utf8 = QString::fromUcs4(&c, 1).toUtf8();
  return Cp1252FromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

struct FilterEntry {
  QString description;
  QStringList patterns;
};

std::vector<FilterEntry> ParseFilter(std::string_view filter) {
  const QStringList parts = FromCp1252(filter).split(QLatin1Char('|'));
  std::vector<FilterEntry> entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    FilterEntry e;
    e.description = parts[i].trimmed();
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString pattern = p.trimmed();
      if (!pattern.isEmpty()) e.patterns << pattern;
    }
    if (!e.patterns.isEmpty()) entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace

QString FromCp1252(std::string_view bytes) {
  const std::string utf8 = Utf8FromCp1252(bytes);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToCp1252(const QString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (char32_t c : text.toUcs4()) {
    const std::optional<std::string> b = OneChar(c);
    out += b ? *b : std::string("?");
  }
  return out;
}

bool FitsCp1252(const QString& text) {
  for (char32_t c : text.toUcs4()) {
    if (!OneChar(c)) return false;
  }
  return true;
}

QString FileDialogFilter(std::string_view filter) {
  QStringList out;
  for (const FilterEntry& e : ParseFilter(filter)) {
    QStringList globs;
    for (const QString& p : e.patterns) {
      if (p == QLatin1String("*.*") || p == QLatin1String("*")) {
        globs << QStringLiteral("*");
        continue;
      }
      for (const QString& variant : {p, p.toLower(), p.toUpper()}) {
        if (!globs.contains(variant)) globs << variant;
      }
    }
    globs.removeDuplicates();
    out << QStringLiteral("%1 (%2)").arg(e.description, globs.join(QLatin1Char(' ')));
  }
  if (out.isEmpty()) out << QStringLiteral("All Files (*)");
  return out.join(QStringLiteral(";;"));
}

QString DefaultSuffix(std::string_view filter) {
  const std::vector<FilterEntry> entries = ParseFilter(filter);
  if (entries.empty()) return {};
  const QString& p = entries.front().patterns.front();
  if (!p.startsWith(QLatin1String("*."))) return {};
  const QString suffix = p.mid(2);
  for (QChar c : suffix) {
    if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('.') ||
        c == QLatin1Char('[')) {
      return {};
    }
  }
  return suffix;
}

}  // namespace mirabo::ui::qt
