// Icon resources by the names the window definitions use ("VCRFIRST.ICO",
// "~KVHTML01.ICO", "LOGO").  All are our own SVG drawings compiled into the
// library; a leading '~' (a resource linked into the program) is ignored, and
// case does not matter.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <string_view>

namespace mirabo::ui::qt {

// The resource path of a named icon (":/mirabo/icons/vcrfirst.svg"), or empty
// when we have no drawing of that name.
QString IconResource(std::string_view name);

// The icon, rendered at the usual toolbar and window sizes; null when unknown.
QIcon IconFor(std::string_view name);

// The drawing scaled to fit `size`, keeping its proportions and centred on a
// transparent background; null when unknown.
QPixmap IconPixmap(std::string_view name, QSize size);

}  // namespace mirabo::ui::qt
