// Declarative window definitions: what a procedure's window holds, as data.
// A definition is named by its procedure and its own name joined by a dollar
// sign ("MAIN$APPFRAME", "ABOUTQRT$WINDOW").  Positions and sizes are in
// dialog units; -1 leaves the choice to the window layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirabo::ui {

enum class ControlKind {
  kButton,
  kPrompt,
  kString,
  kEntry,
  kOption,
  kRadio,
  kCheck,
  kSheet,
  kTab,
  kList,
  kProgress,
  kImage,
  kSpin,
  kBox,
  kLine,
  kGroup,
};

struct Rect {
  int x = -1, y = -1, w = -1, h = -1;
};

// Colours are 0xRRGGBB; kDefaultColour leaves the choice to the window layer.
constexpr uint32_t kDefaultColour = 0xFF000000;
constexpr uint32_t kBlackColour = 0x000000;
constexpr uint32_t kWhiteColour = 0xFFFFFF;

// The mouse cursor over a control.  kZoom is a magnifying glass with a plus
// sign in its lens.
enum class Cursor : uint8_t { kArrow, kZoom };

struct ControlDef {
  ControlKind kind = ControlKind::kButton;
  int id = 0;        // the control's number within its window
  std::string text;  // caption, prompt, tab or group text
  Rect at;
  std::string picture;  // entries, strings and spin fields
  std::string format;   // list boxes: the format string
  std::string help;     // tool tip / status text
  std::string icon;     // buttons and images: an icon resource ("~KVHTML15.ICO")
  std::string value;    // radio buttons: the value they give their option
  bool hidden = false;
  bool disabled = false;
  // Buttons: a window that shows its default button acts as a dialog:
  // Enter presses the default button and Escape the cancel button.
  bool default_button = false;
  bool cancel_button = false;  // Escape presses it (a window showing its default button)
  bool centred = false;        // strings: centred text
  // Entries: the value is a file name, the user's own bytes (UTF-8 on this
  // platform), shown and typed as they are: a name is data for the system,
  // never Windows-1252 text.
  bool file_name = false;
  // Entries: completing it moves what the window shows (a browse's
  // locator), so Enter completes it and does no more: the user sees where it
  // went before the default button acts on it.  Enter in any other entry
  // completes it and then presses the default button.
  bool locator = false;
  int low = 0, high = 100;            // progress bars and spin fields
  uint32_t fill = kDefaultColour;     // boxes and images: the background
  uint32_t outline = kDefaultColour;  // boxes: the frame
  std::vector<ControlDef> children;   // sheet: tabs; tab, group: controls; option: radios
};

struct MenuItemDef {
  std::string text;  // "&Create File"; empty for a separator
  int id = 0;        // menu items carry negative numbers
  std::string msg;   // shown in the status bar while highlighted
  bool check = false;
  std::vector<MenuItemDef> items;  // a submenu when not empty
  // The key that chooses the item while its window is active (ui/event.h
  // key codes: EscKey, CtrlP, ...); 0 for none.
  int key = 0;
};

enum WindowFlag : unsigned {
  kMdiFrame = 1u << 0,
  kMdiChild = 1u << 1,
  kNoCaption = 1u << 2,
  kResizable = 1u << 3,
  kModal = 1u << 4,
  kMaximizeBox = 1u << 5,
  kToolWindow = 1u << 6,
  kHidden = 1u << 7,  // never shown: a window for its timer and events only
};

struct WindowDef {
  std::string name;  // "MAIN$APPFRAME"
  std::string title;
  int x = -1, y = -1;
  int width = 0, height = 0;  // dialog units
  std::string font = "MS Sans Serif";
  int font_size = 8;
  unsigned flags = 0;
  std::string icon;
  // The help page F1 shows while the window is active ("browsing.html", one
  // of the program's own help pages); empty: the contents.
  std::string help;
  std::vector<MenuItemDef> menus;
  std::vector<ControlDef> toolbar;
  std::vector<int> status_zones;  // widths in dialog units; -1 takes what is left
  std::vector<ControlDef> controls;
  int timer = 0;  // hundredths of a second; 0 for none
};

}  // namespace mirabo::ui
