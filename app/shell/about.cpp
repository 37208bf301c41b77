#include "app/shell/about.h"

#include "app/data/thread_block.h"
#include "app/data/window_position.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

constexpr int kProductLine = 1;
constexpr int kCredit = 2;
constexpr int kLogo = 3;
constexpr int kVersion = 4;
constexpr int kToolNote = 5;

ui::WindowDef BuildAboutDef() {
  using ui::ControlKind;
  ui::WindowDef d;
  d.name = "ABOUTQRT$WINDOW";
  d.width = 204;
  d.height = 94;
  d.flags = ui::kNoCaption;
  ui::ControlDef product{.kind = ControlKind::kString,
                         .id = kProductLine,
                         .text = "MIRABO Features Database Browser",
                         .at = {4, 6, 196, 10}};
  product.centred = true;
  ui::ControlDef credit{.kind = ControlKind::kString,
                        .id = kCredit,
                        .text = "Compiled for the readers by the Mirabo index team",
                        .at = {4, 18, 196, 10}};
  credit.centred = true;
  d.controls = {
      product,
      credit,
      {.kind = ControlKind::kImage, .id = kLogo, .at = {72, 30, 60, 40}, .icon = "LOGO"},
      {.kind = ControlKind::kString,
       .id = kVersion,
       .text = "Version 2.0  1997",
       .at = {6, 78, 70, 10}},
      {.kind = ControlKind::kString,
       .id = kToolNote,
       .text = "Built with C++20 and Qt 6",
       .at = {80, 78, 118, 10}},
  };
  return d;
}

}  // namespace

const ui::WindowDef& AboutWindowDef() {
  static const ui::WindowDef def = BuildAboutDef();
  return def;
}

ui::Proc AboutQRT() {
  ThreadBlock& block = CurrentThread();
  block.SharedRequest.value = 0;
  block.SharedResponse.value = 0;
  int32_t local_response = RespCancelled;

  ui::Window w(AboutWindowDef());
  w.Open();
  RestoreWindowPosition(w, "AboutQRT");
  w.SetTimer(500);
  w.Alert(ui::MouseLeft);
  w.Alert(ui::MouseLeft2);
  w.Alert(ui::MouseRight);
  while (ui::Event e = co_await w.Accept()) {
    switch (e.code) {
      case ui::EVENT_AlertKey:
        if (e.key == ui::MouseLeft || e.key == ui::MouseLeft2 || e.key == ui::MouseRight) {
          w.Post(ui::EVENT_CloseWindow);
        }
        break;
      case ui::EVENT_Timer:
        w.Post(ui::EVENT_CloseWindow);
        break;
      case ui::EVENT_OpenWindow:
        w.Select(kProductLine);
        break;
      case ui::EVENT_GainFocus:
        w.Display();
        break;
      case ui::EVENT_Rejected:
        ui::Beep();
        w.Select(e.control);
        break;
      default:
        break;
    }
  }
  SaveWindowPosition(w, "AboutQRT");
  w.Close();
  block.SharedResponse.value = local_response;
}

}  // namespace mirabo::app
