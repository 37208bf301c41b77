#include "app/data/standard_message.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "runtime/error.h"
#include "ui/headless.h"
#include "ui/scheduler.h"

namespace mirabo::app {
namespace {

using ui::Icon;
constexpr Icon kI = Icon::kInformation;
constexpr Icon kX = Icon::kExclamation;
constexpr int kOk = ui::kButtonOk;
constexpr int kYes = ui::kButtonYes;
constexpr int kNo = ui::kButtonNo;
constexpr int kCancel = ui::kButtonCancel;
constexpr int kYesNo = kYes | kNo;
constexpr int kYesNoCancel = kYes | kNo | kCancel;

struct Expected {
  int number;
  const char* caption;
  Icon icon;
  int buttons;
  int default_button;
  const char* text;
};

// Every message with Text1 "Supplier", Text2 "Issues" (both passed with
// trailing blanks) and error 2 as the current error.
const Expected kAll[] = {
    {1, "Invalid File", kI, kOk, kOk,
     "Error: (File Not Found (2)) accessing Supplier.  Press OK to end this application."},
    {2, "Invalid Key", kX, kYesNo, kYes,
     "Supplier key file is invalid.  Do you want to rebuild the key?"},
    {3, "Key Rebuild Error", kI, kOk, kOk,
     "Error: (File Not Found (2)) repairing key for Supplier.  Press OK to end this application."},
    {4, "File Creation Error", kI, kOk, kOk,
     "Error: (File Not Found (2)) creating Supplier.  Press OK to end this application."},
    {5, "File Creation Error", kI, kOk, kOk,
     "Error: (File Not Found (2)) opening created file:Supplier.  Press OK to end this "
     "application."},
    {6, "Procedure not defined", kI, kOk, kOk, "The Procedure Supplier has not been defined."},
    {7, "Record Retrieval Error", kI, kOk, 0,
     "Unable to read keyed record.  Error: File Not Found (2).  Insert Aborted"},
    {8, "Range Error", kI, kOk, kOk, "The value of Supplier must be lower than Issues."},
    {9, "Range Error", kI, kOk, kOk, "The value of Supplier must be higher than Issues."},
    {10, "Range Error", kI, kOk, kOk, "The value of Supplier must be between Issues."},
    {11, "Field Contents Error", kI, kOk, kOk,
     "The value for Supplier must be found in the Issues file."},
    {12, "Referential Integrity Update Error", kI, kOk, kOk,
     "This record is referenced from the file Supplier.  Linking field(s) have been restricted "
     "from change and have been reset to original values."},
    {13, "Referential Integrity Delete Error", kI, kOk, kOk,
     "This record is referenced from the file Supplier.  This record cannot be deleted while "
     "these references exist."},
    {14, "Record Insert Error", kI, kOk, kOk,
     "An error was experienced during the update of record.  Error: File Not Found (2)."},
    {15, "Update Operation Error", kI, kOk, kOk,
     "An error (File Not Found (2)) was experienced when attempting to update a record from the "
     "file.  Probable Cause: Supplier."},
    {16, "Record Update Error", kI, kYesNoCancel, kCancel,
     "An error was experienced changing this record.  Do you want to try to save again?"},
    {17, "Delete Operation Error", kI, kOk, kOk,
     "An error (File Not Found (2)) was experienced when attempting to delete a record from the "
     "file Supplier."},
    {18, "Record Update Error", kI, kYesNoCancel, kCancel,
     "An error was experienced deleting this record.  Do you want to try to save again?"},
    {19, "Invalid Request", kI, kOk, kOk,
     "This procedure was called to insert a record, however inserts are not allowed for this "
     "procedure.  Press OK to return to the calling procedure"},
    {20, "Invalid Request", kI, kOk, kOk,
     "This procedure was called to change a record, however changes are not allowed for this "
     "procedure.  Press OK to return to the calling procedure"},
    {21, "Invalid Request", kI, kOk, kOk,
     "This procedure was called to delete a record, however deletions are not allowed for this "
     "procedure.  Press OK to return to the calling procedure"},
    {22, "File Creation Not Allowed", kI, kOk, kOk,
     "The File Supplierwas not found, and creation of the file is not allowed.  Press OK to end "
     "this application."},
    {23, "Update Cancelled", kX, kYesNo, kNo, "Are you sure you want to cancel?"},
    {24, "Duplicate Key Error", kI, kOk, kOk,
     "Adding this record creates a duplicate entry for the key:Supplier"},
    {25, "Auto Increment Error", kI, ui::kButtonRetry | kCancel, kCancel,
     "Attempts to automatically number this record have failed.  Error: File Not Found (2)."},
    {26, "File Load Error", kI, kOk, kOk, "Supplier File Load Error.  Error: File Not Found (2)."},
    {27, "Cancel Request", kX, kOk | kCancel, kCancel,
     "Are you certain you want to stop loading Supplier?"},
    {28, "File Load Error", kI, kOk, kOk,
     "Supplier File Load Error.  The file you've requested contains no text."},
    {29, "Beginning of File Error", kX, kYesNo, kYes,
     "The beginning of the viewed file was encountered.  Do you want to start again from the end "
     "of the file?"},
    {30, "File Access Error", kI, kOk, kOk,
     "File (Supplier) could not be opened.  Error: File Not Found (2)."},
    {31, "Process DELETE Error", kI, kOk, kOk,
     "An error was experienced when deleting a record from the Issues file.  Error: File Not "
     "Found (2)"},
    {32, "Confirm Delete", kX, kOk | kCancel, kCancel,
     "You've selected to delete the highlighted record.  Press OK to confirm deletion of this "
     "record."},
    {33, "Update Cancelled", kX, kYesNoCancel, kNo,
     "Do you want to save the changes to this record?"},
    {34, "Transaction Framing Error", kI, kOk, kOk,
     "Error: (File Not Found (2)) attempting to frame the supplier transaction on Issues.  "
     "Supplier transaction cancelled."},
    {35, "Record Retrieval Error", kI, kOk, kOk,
     "Error: (File Not Found (2)) attempting to access a record from the Supplier file.  "
     "Returning to previous window."},
    {36, "View Open Error", kI, kOk, kOk,
     "Error: (File Not Found (2)) attempting to open the current VIEW. Filter and Range Limits "
     "ignored."},
    {37, "Record Added", kX, kYesNo, kYes,
     "This record has been added to the file. Do you want to add another record?"},
    {38, "Record Was Not Updated", kI, kOk, kOk,
     "This record was changed by another station. Those changes will now be displayed. Use the "
     "Ditto Button or Ctrl+' to recall your changes."},
};

TEST(StandardMessageTest, EveryMessageHasItsCaptionIconButtonsAndText) {
  ASSERT_EQ(std::size(kAll), 38u);
  SetError(kFileNotFound);
  for (const Expected& e : kAll) {
    SCOPED_TRACE(e.number);
    const std::optional<ui::MessageRequest> r =
        StandardMessageRequest(e.number, "Supplier   ", "Issues ");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->caption, e.caption);
    EXPECT_EQ(r->icon, e.icon);
    EXPECT_EQ(r->buttons, e.buttons);
    EXPECT_EQ(r->default_button, e.default_button);
    EXPECT_EQ(r->text, e.text);
  }
}

TEST(StandardMessageTest, VariantsFollowText1AndTheErrorState) {
  struct Case {
    int number;
    const char* text1;
    const char* text2;
    int error;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {29, "Down  ", "", kNoError, "End of File Error",
       "The end of the viewed file was encountered.  Do you want to start again from the "
       "beginning?"},
      {29, "Up", "", kNoError, "Beginning of File Error",
       "The beginning of the viewed file was encountered.  Do you want to start again from the "
       "end of the file?"},
      {31, "Put ", "FEATURES", kFileNotFound, "Process PUT Error",
       "An error was experienced when making changes to the FEATURES file.  Error: File Not Found "
       "(2)"},
      {31, "Delete", "FEATURES", kFileNotFound, "Process DELETE Error",
       "An error was experienced when deleting a record from the FEATURES file.  Error: File Not "
       "Found (2)"},
      {15, "Held", "", kNoError, "Update Operation Error",
       "This record was changed by another station."},
      {15, "Held", "", 89, "Update Operation Error", "This record was changed by another station."},
      {15, "Held", "", kRecordIsAlreadyHeld, "Update Operation Error",
       "An error (Record Is Already Held (43)) was experienced when attempting to update a record "
       "from the file.  Probable Cause: Held."},
      {34, "LOGOUT", "ISSUES", kFileNotFound, "Transaction Framing Error",
       "Error: (File Not Found (2)) attempting to frame the logout transaction on ISSUES.  LOGOUT "
       "transaction cancelled."},
      // A '%' in a caller's text is shown as it is.
      {30, "100%E", "", kFileNotFound, "File Access Error",
       "File (100%E) could not be opened.  Error: File Not Found (2)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + " " + c.text1);
    SetError(c.error);
    const std::optional<ui::MessageRequest> r = StandardMessageRequest(c.number, c.text1, c.text2);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->caption, c.caption);
    EXPECT_EQ(r->text, c.text);
  }
}

TEST(PercentTextTest, TheNumberTakesThreeColumns) {
  EXPECT_EQ(PercentText(7), "  7% Completed");
  EXPECT_EQ(PercentText(33), " 33% Completed");
  EXPECT_EQ(PercentText(100), "100% Completed");
}

TEST(StandardMessageTest, ErrorDescriptionFromTheCurrentErrorState) {
  SetError(kFileNotFound);
  EXPECT_EQ(ErrorDescription(), "File Not Found (2)");
  // A file-system error shows the driver's own text and code, not "File System Error".
  SetFileSystemError(13, "attempt to write a readonly database   ");
  EXPECT_EQ(ErrorDescription(), "attempt to write a readonly database (13)");
  // The texts that end in a blank lose it like any other before the code.
  SetError(78);
  EXPECT_EQ(ErrorDescription(), "Invalid Number Of Parameters (78)");
  SetError(350);
  EXPECT_EQ(ErrorDescription(), "Not Supported (350)");
  SetError(999);
  EXPECT_EQ(ErrorDescription(), "Unknown Error Posted : 999 (999)");

  const std::string long_text(200, 'x');
  SetFileSystemError(5, long_text);
  EXPECT_EQ(ErrorDescription(), std::string(150, 'x'));
  // The description is cut, the composed text is not.
  const auto r = StandardMessageRequest(30, "FEATURES");
  EXPECT_EQ(r->text, "File (FEATURES) could not be opened.  Error: " + std::string(150, 'x') + ".");
  SetError(kNoError);
}

TEST(StandardMessageTest, NumbersOutsideTheTableHaveNoBox) {
  for (int n : {-1, 0, 39, 1000}) EXPECT_FALSE(StandardMessageRequest(n).has_value()) << n;
}

class StandardMessageRunTest : public ::testing::Test {
 protected:
  void Run(int number, std::string text1) {
    scheduler_.Start(Show(number, std::move(text1), &result_, &returned_));
    scheduler_.RunReady();
  }

  static ui::Proc Show(int number, std::string text1, int* result, bool* returned) {
    *result = co_await StandardMessage(number, text1);
    *returned = true;
  }

  ui::HeadlessBackend backend_;
  ui::VirtualClock clock_;
  ui::Scheduler scheduler_{backend_, clock_};
  int result_ = -1;
  bool returned_ = false;
};

TEST_F(StandardMessageRunTest, ReturnsTheButtonPressed) {
  backend_.answers = {kYes};
  Run(23, "");
  EXPECT_TRUE(returned_);
  EXPECT_EQ(result_, kYes);
  Run(23, "");
  EXPECT_EQ(result_, kNo) << "unanswered: the default button";
  ASSERT_EQ(backend_.messages.size(), 2u);
  EXPECT_EQ(backend_.messages[0].request.caption, "Update Cancelled");
}

TEST_F(StandardMessageRunTest, TheRebuildQuestionAnsweredYesReturns) {
  backend_.answers = {kYes};
  Run(2, "FEATURES");
  EXPECT_TRUE(returned_);
  EXPECT_EQ(result_, kYes);
  EXPECT_EQ(backend_.messages.size(), 1u);
  EXPECT_FALSE(scheduler_.exited());
}

TEST_F(StandardMessageRunTest, ANumberOutsideTheTableShowsNothing) {
  Run(39, "FEATURES");
  EXPECT_TRUE(returned_);
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(backend_.messages.empty());
}

TEST(StandardMessageHaltTest, HaltingMessagesEndTheProgramAfterTheHaltBox) {
  struct Case {
    int number;
    int answer;
    const char* caption;
    const char* halt;
  };
  const Case cases[] = {
      {1, kOk, "Invalid File", "Invalid File!"},
      {2, kNo, "Invalid Key", "Invalid Key!"},
      {3, kOk, "Key Rebuild Error", "Error Rebuilding Key!"},
      {4, kOk, "File Creation Error", "File Creation Error!"},
      {5, kOk, "File Creation Error", "File Creation Error!"},
      {22, kOk, "File Creation Not Allowed", "File Creation Error!"},
  };
  SetError(kFileNotFound);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    ui::HeadlessBackend backend;
    ui::VirtualClock clock;
    ui::Scheduler scheduler(backend, clock);
    backend.answers = {c.answer};
    int result = -1;
    bool returned = false;
    auto show = [](int number, int* out, bool* done) -> ui::Proc {
      const std::string name = "FEATURES";
      *out = co_await StandardMessage(number, name);
      *done = true;
    };
    scheduler.Start(show(c.number, &result, &returned));
    scheduler.RunReady();
    EXPECT_FALSE(returned) << "a halting message never returns";
    ASSERT_EQ(backend.messages.size(), 2u);
    EXPECT_EQ(backend.messages[0].request.caption, c.caption);
    EXPECT_EQ(backend.messages[1].request.caption, "Halt");
    EXPECT_EQ(backend.messages[1].request.text, c.halt);
    EXPECT_EQ(backend.messages[1].request.buttons, kOk);
    EXPECT_TRUE(scheduler.exited());
    EXPECT_EQ(backend.quit_code, 0);
  }
}

}  // namespace
}  // namespace mirabo::app
