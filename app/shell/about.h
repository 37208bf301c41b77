// AboutQRT: a small window without a caption bar naming the product and its
// version.  It greets the user when the frame opens and shows from the Help
// menu; it closes after five seconds, on any mouse click, or when the frame
// posts it a close.
#pragma once

#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

const ui::WindowDef& AboutWindowDef();
ui::Proc AboutQRT();

}  // namespace mirabo::app
