// Text crossing between the window model and Qt.  The model holds
// Windows-1252 bytes, as the data files do; Qt holds Unicode.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace mirabo::ui::qt {

// Every byte string converts, the five codes Windows-1252 leaves undefined
// included, so showing and reading back a model string changes nothing.
QString FromCp1252(std::string_view bytes);

// What the user typed, as the model's bytes.  A character that Windows-1252
// cannot hold becomes '?', one for each such character.
std::string ToCp1252(const QString& text);

// Whether every character of `text` has a Windows-1252 byte.
bool FitsCp1252(const QString& text);

// A file-dialog filter in the model's form ("HTML Files|*.HTM|All Files|*.*",
// several patterns of one entry separated by ';') as Qt writes it
// ("HTML Files (*.HTM *.htm);;All Files (*)").  Each pattern is offered in its
// own spelling and in lower and upper case, because file names on this
// platform are case-sensitive and the model's patterns are written in capitals.
QString FileDialogFilter(std::string_view filter);

// The extension of the first entry's first concrete pattern ("HTM" for
// "*.HTM"), or empty; a save dialog appends it to a name typed without one.
QString DefaultSuffix(std::string_view filter);

}  // namespace mirabo::ui::qt
