#include "ui/list_format.h"

#include <cctype>

namespace mirabo::ui {
namespace {

bool ReadInt(std::string_view s, size_t& i, int* out) {
  const size_t start = i;
  int v = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
    v = v * 10 + (s[i++] - '0');
  *out = v;
  return i > start;
}

// Reads a justification letter and its optional "(n)".
bool ReadJustify(std::string_view s, size_t& i, char* letter, int* indent) {
  if (i >= s.size()) return false;
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  if (c != 'L' && c != 'R' && c != 'C' && c != 'D') return false;
  *letter = c;
  ++i;
  *indent = 0;
  if (i < s.size() && s[i] == '(') {
    ++i;
    if (!ReadInt(s, i, indent) || i >= s.size() || s[i] != ')') return false;
    ++i;
  }
  return true;
}

}  // namespace

std::vector<ListColumn> ParseListFormat(std::string_view s) {
  std::vector<ListColumn> out;
  size_t i = 0;
  while (i < s.size()) {
    ListColumn col;
    if (!ReadInt(s, i, &col.width)) return {};
    if (!ReadJustify(s, i, &col.justify, &col.indent)) return {};
    col.header_justify = col.justify;
    col.header_indent = col.indent;
    for (; i < s.size(); ++i) {
      if (s[i] == '|')
        col.right_border = true;
      else if (s[i] == '_')
        col.underline = true;
      else if (s[i] == 'M' || s[i] == 'm')
        col.resizable = true;
      else
        break;
    }
    if (i < s.size() && s[i] == '~') {
      const size_t end = s.find('~', i + 1);
      if (end == std::string_view::npos) return {};
      col.header = std::string(s.substr(i + 1, end - i - 1));
      i = end + 1;
      size_t j = i;
      char hj;
      int hi;
      if (ReadJustify(s, j, &hj, &hi)) {
        col.header_justify = hj;
        col.header_indent = hi;
        i = j;
      }
    }
    if (i < s.size() && s[i] == '@') {
      const size_t end = s.find('@', i + 1);
      if (end == std::string_view::npos) return {};
      col.picture = std::string(s.substr(i + 1, end - i - 1));
      i = end + 1;
    }
    out.push_back(std::move(col));
  }
  return out;
}

}  // namespace mirabo::ui
