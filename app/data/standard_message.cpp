#include "app/data/standard_message.h"

#include <array>

#include "runtime/error.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "ui/dialogs.h"

namespace mirabo::app {
namespace {

using ui::Icon;
constexpr Icon kInfo = Icon::kInformation;
constexpr Icon kExcl = Icon::kExclamation;
constexpr int kOk = ui::kButtonOk;
constexpr int kYes = ui::kButtonYes;
constexpr int kNo = ui::kButtonNo;
constexpr int kRetry = ui::kButtonRetry;
constexpr int kCancel = ui::kButtonCancel;
constexpr int kAnyButton = ~0;

constexpr size_t kDescriptionWidth = 150;

// A few messages read differently depending on the error state or on Text1;
// the alternative caption and text apply when the condition holds.
enum class Variant { kNone, kWhenNoErrorOrChanged, kWhenText1IsDown, kWhenText1IsPut };

// Texts are templates: %E stands for the error description, %1 and %2 for
// Text1 and Text2, %L for Text1 in lower case.  Nothing else is inserted, so
// the pieces meet exactly as written (message 22 really has no blank after
// the file name).
struct MessageDef {
  const char* caption;
  Icon icon;
  int buttons;
  int default_button;  // 0: none
  const char* text;
  const char* halt = nullptr;  // the halt text, when answers in halt_on end the program
  int halt_on = kAnyButton;
  Variant variant = Variant::kNone;
  const char* alt_caption = nullptr;  // null: the caption above
  const char* alt_text = nullptr;
};

constexpr const char* kCreationHalt = "File Creation Error!";

const std::array<MessageDef, kLastStandardMessage>& Messages() {
  static const std::array<MessageDef, kLastStandardMessage> defs = {{
      /* 1 */ {"Invalid File", kInfo, kOk, kOk,
               "Error: (%E) accessing %1.  Press OK to end this application.", "Invalid File!"},
      /* 2 */
      {"Invalid Key", kExcl, kYes | kNo, kYes,
       "%1 key file is invalid.  Do you want to rebuild the key?", "Invalid Key!", kNo},
      /* 3 */
      {"Key Rebuild Error", kInfo, kOk, kOk,
       "Error: (%E) repairing key for %1.  Press OK to end this application.",
       "Error Rebuilding Key!"},
      /* 4 */
      {"File Creation Error", kInfo, kOk, kOk,
       "Error: (%E) creating %1.  Press OK to end this application.", kCreationHalt},
      /* 5 */
      {"File Creation Error", kInfo, kOk, kOk,
       "Error: (%E) opening created file:%1.  Press OK to end this application.", kCreationHalt},
      /* 6 */
      {"Procedure not defined", kInfo, kOk, kOk, "The Procedure %1 has not been defined."},
      // Nothing in the program raises 7; its caption names what it is about.
      /* 7 */
      {"Record Retrieval Error", kInfo, kOk, 0,
       "Unable to read keyed record.  Error: %E.  Insert Aborted"},
      /* 8 */ {"Range Error", kInfo, kOk, kOk, "The value of %1 must be lower than %2."},
      /* 9 */ {"Range Error", kInfo, kOk, kOk, "The value of %1 must be higher than %2."},
      /* 10 */ {"Range Error", kInfo, kOk, kOk, "The value of %1 must be between %2."},
      /* 11 */
      {"Field Contents Error", kInfo, kOk, kOk, "The value for %1 must be found in the %2 file."},
      /* 12 */
      {"Referential Integrity Update Error", kInfo, kOk, kOk,
       "This record is referenced from the file %1.  Linking field(s) have been restricted from "
       "change and have been reset to original values."},
      /* 13 */
      {"Referential Integrity Delete Error", kInfo, kOk, kOk,
       "This record is referenced from the file %1.  This record cannot be deleted while these "
       "references exist."},
      /* 14 */
      {"Record Insert Error", kInfo, kOk, kOk,
       "An error was experienced during the update of record.  Error: %E."},
      /* 15 */
      {"Update Operation Error", kInfo, kOk, kOk,
       "An error (%E) was experienced when attempting to update a record from the file.  "
       "Probable Cause: %1.",
       nullptr, kAnyButton, Variant::kWhenNoErrorOrChanged, nullptr,
       "This record was changed by another station."},
      /* 16 */
      {"Record Update Error", kInfo, kYes | kNo | kCancel, kCancel,
       "An error was experienced changing this record.  Do you want to try to save again?"},
      /* 17 */
      {"Delete Operation Error", kInfo, kOk, kOk,
       "An error (%E) was experienced when attempting to delete a record from the file %1."},
      /* 18 */
      {"Record Update Error", kInfo, kYes | kNo | kCancel, kCancel,
       "An error was experienced deleting this record.  Do you want to try to save again?"},
      /* 19 */
      {"Invalid Request", kInfo, kOk, kOk,
       "This procedure was called to insert a record, however inserts are not allowed for this "
       "procedure.  Press OK to return to the calling procedure"},
      /* 20 */
      {"Invalid Request", kInfo, kOk, kOk,
       "This procedure was called to change a record, however changes are not allowed for this "
       "procedure.  Press OK to return to the calling procedure"},
      /* 21 */
      {"Invalid Request", kInfo, kOk, kOk,
       "This procedure was called to delete a record, however deletions are not allowed for "
       "this procedure.  Press OK to return to the calling procedure"},
      /* 22 */
      {"File Creation Not Allowed", kInfo, kOk, kOk,
       "The File %1was not found, and creation of the file is not allowed.  Press OK to end "
       "this application.",
       kCreationHalt},
      /* 23 */ {"Update Cancelled", kExcl, kYes | kNo, kNo, "Are you sure you want to cancel?"},
      /* 24 */
      {"Duplicate Key Error", kInfo, kOk, kOk,
       "Adding this record creates a duplicate entry for the key:%1"},
      /* 25 */
      {"Auto Increment Error", kInfo, kRetry | kCancel, kCancel,
       "Attempts to automatically number this record have failed.  Error: %E."},
      /* 26 */ {"File Load Error", kInfo, kOk, kOk, "%1 File Load Error.  Error: %E."},
      /* 27 */
      {"Cancel Request", kExcl, kOk | kCancel, kCancel,
       "Are you certain you want to stop loading %1?"},
      /* 28 */
      {"File Load Error", kInfo, kOk, kOk,
       "%1 File Load Error.  The file you've requested contains no text."},
      /* 29 */
      {"Beginning of File Error", kExcl, kYes | kNo, kYes,
       "The beginning of the viewed file was encountered.  Do you want to start again from the "
       "end of the file?",
       nullptr, kAnyButton, Variant::kWhenText1IsDown, "End of File Error",
       "The end of the viewed file was encountered.  Do you want to start again from the "
       "beginning?"},
      /* 30 */
      {"File Access Error", kInfo, kOk, kOk, "File (%1) could not be opened.  Error: %E."},
      /* 31 */
      {"Process DELETE Error", kInfo, kOk, kOk,
       "An error was experienced when deleting a record from the %2 file.  Error: %E", nullptr,
       kAnyButton, Variant::kWhenText1IsPut, "Process PUT Error",
       "An error was experienced when making changes to the %2 file.  Error: %E"},
      /* 32 */
      {"Confirm Delete", kExcl, kOk | kCancel, kCancel,
       "You've selected to delete the highlighted record.  Press OK to confirm deletion of this "
       "record."},
      /* 33 */
      {"Update Cancelled", kExcl, kYes | kNo | kCancel, kNo,
       "Do you want to save the changes to this record?"},
      /* 34 */
      {"Transaction Framing Error", kInfo, kOk, kOk,
       "Error: (%E) attempting to frame the %L transaction on %2.  %1 transaction cancelled."},
      /* 35 */
      {"Record Retrieval Error", kInfo, kOk, kOk,
       "Error: (%E) attempting to access a record from the %1 file.  Returning to previous "
       "window."},
      /* 36 */
      {"View Open Error", kInfo, kOk, kOk,
       "Error: (%E) attempting to open the current VIEW. Filter and Range Limits ignored."},
      /* 37 */
      {"Record Added", kExcl, kYes | kNo, kYes,
       "This record has been added to the file. Do you want to add another record?"},
      /* 38 */
      {"Record Was Not Updated", kInfo, kOk, kOk,
       "This record was changed by another station. Those changes will now be displayed. Use the "
       "Ditto Button or Ctrl+' to recall your changes."},
  }};
  return defs;
}

const MessageDef* Find(int number) {
  if (number < kFirstStandardMessage || number > kLastStandardMessage) return nullptr;
  return &Messages()[number - 1];
}

bool VariantHolds(Variant v, std::string_view text1) {
  switch (v) {
    case Variant::kNone:
      return false;
    case Variant::kWhenNoErrorOrChanged: {
      const int code = CurrentError().code;
      return code == kNoError || code == 89;  // 89: record changed by another station
    }
    case Variant::kWhenText1IsDown:
      return text1 == "Down";
    case Variant::kWhenText1IsPut:
      return text1 == "Put";
  }
  return false;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(ToLower1252(static_cast<unsigned char>(c)));
  return out;
}

// One pass over the template, so a '%' inside Text1 or Text2 is never read as
// a marker.
std::string Expand(std::string_view tmpl, std::string_view text1, std::string_view text2) {
  std::string out;
  for (size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] != '%' || i + 1 == tmpl.size()) {
      out += tmpl[i];
      continue;
    }
    switch (tmpl[++i]) {
      case 'E':
        out += ErrorDescription();
        break;
      case '1':
        out += text1;
        break;
      case '2':
        out += text2;
        break;
      case 'L':
        out += Lower(text1);
        break;
      default:
        out += '%';
        out += tmpl[i];
        break;
    }
  }
  return out;
}

}  // namespace

std::string FailureReason() {
  const std::string system = SystemReason();
  return system.empty() ? ErrorDescription() : system + " (" + ErrorDescription() + ")";
}

std::string PercentText(int percent) { return FormatPicture("N3", percent) + "% Completed"; }

std::string ErrorDescription() {
  const ErrorState& e = CurrentError();
  std::string d;
  if (e.code == kFileSystemError) {
    d = std::string(Clip(e.fs_text)) + " (" + std::string(Clip(e.fs_code)) + ")";
  } else {
    d = std::string(Clip(ErrorText(e.code))) + " (" + std::to_string(e.code) + ")";
  }
  if (d.size() > kDescriptionWidth) d.resize(kDescriptionWidth);
  return d;
}

std::optional<ui::MessageRequest> StandardMessageRequest(int number, std::string_view text1,
                                                         std::string_view text2) {
  const MessageDef* def = Find(number);
  if (!def) return std::nullopt;
  text1 = Clip(text1);
  text2 = Clip(text2);
  const bool alt = VariantHolds(def->variant, text1);
  ui::MessageRequest r;
  r.caption = alt && def->alt_caption ? def->alt_caption : def->caption;
  r.text = Expand(alt && def->alt_text ? def->alt_text : def->text, text1, text2);
  r.icon = def->icon;
  r.buttons = def->buttons;
  r.default_button = def->default_button;
  return r;
}

std::string StandardMessageHaltText(int number, int pressed) {
  const MessageDef* def = Find(number);
  if (!def || !def->halt) return {};
  if (def->halt_on != kAnyButton && (def->halt_on & pressed) == 0) return {};
  return def->halt;
}

ui::Task<int> StandardMessage(int number, std::string text1) {
  return StandardMessage(number, std::move(text1), std::string());
}

ui::Task<int> StandardMessage(int number) {
  return StandardMessage(number, std::string(), std::string());
}

ui::Task<int> StandardMessage(int number, std::string text1, std::string text2) {
  const std::optional<ui::MessageRequest> request = StandardMessageRequest(number, text1, text2);
  if (!request) co_return 0;
  const ui::MessageRequest& box = *request;
  const int pressed = co_await ui::Message(box);
  const std::string halt = StandardMessageHaltText(number, pressed);
  if (!halt.empty()) co_await ui::Halt(halt);  // never resumes
  co_return pressed;
}

}  // namespace mirabo::app
