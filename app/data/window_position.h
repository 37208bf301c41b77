// Window position memory: every window procedure saves its window's normal
// placement and maximized state to a profile section named after the
// procedure just before closing the window, and restores them right after
// opening it ("Maximize" = "Yes"/"No", "XPosit", "YPosit", "Width", "Height",
// plain decimal integers in dialog units).
#pragma once

#include <string_view>

#include "ui/window.h"

namespace mirabo::app {

inline constexpr std::string_view kPositionProfile = "KOLVAN.INI";

// The corner of a restored window that always stays inside the area windows
// are placed in, so a profile from a larger screen, or a damaged one, cannot
// put a window where nobody can reach it.
inline constexpr int kVisibleCornerWidth = 32;
inline constexpr int kVisibleCornerHeight = 16;

// Takes `w` out of the maximized state and, unless it is minimized, writes its
// state to `section` of `file`, one profile update per key.  A minimized
// window writes nothing, so the section keeps what an earlier close saved.
// Write failures are ignored: a position that is not kept is no reason to
// keep a window from closing.
void SaveWindowPosition(ui::Window& w, std::string_view section,
                        std::string_view file = kPositionProfile);

// Applies what `section` of `file` holds to `w`.  Nothing at all when no
// position was saved (XPosit missing, not a number or 0).  Otherwise a window
// that is not maximized is moved to the saved place (kept where it is when X
// or Y is 0 or negative) and, when resizable, given the saved size (neither
// when Width or Height is 0 or negative; a fixed-size window keeps its
// designed size); then the window is maximized exactly when Maximize is
// "Yes".  When the backend knows the desktop area, the place is pulled in so
// a kVisibleCornerWidth x kVisibleCornerHeight corner stays inside it, and a
// resizable window is made no larger than the area and no smaller than its
// minimum size.
void RestoreWindowPosition(ui::Window& w, std::string_view section,
                           std::string_view file = kPositionProfile);

}  // namespace mirabo::app
