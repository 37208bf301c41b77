// List-box format strings: one group per column, e.g.
//
//   80L(2)|_M~PRODUCT~@s86@44D(18)|_M~ISSUE~C(0)@n10@
//
// width in dialog units; data justification L, R, C or D (decimal) with an
// indent or offset in parentheses; '|' a right border, '_' an underline, 'M'
// resizable by the user; the header text between tildes, optionally followed by
// its own justification; the picture between at signs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mirabo::ui {

struct ListColumn {
  int width = 0;
  char justify = 'L';  // L, R, C or D
  int indent = 0;
  bool right_border = false;
  bool underline = false;
  bool resizable = false;
  std::string header;
  char header_justify = 'L';  // as the data unless given
  int header_indent = 0;
  std::string picture;  // without the at signs
};

// Parses a format string; returns an empty list when it is malformed.
std::vector<ListColumn> ParseListFormat(std::string_view format);

}  // namespace mirabo::ui
