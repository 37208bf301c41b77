// Runtime file error codes, their texts, and the error state that every file
// operation leaves behind.
//
// A driver operation returns 0 or one of the codes below and records the same
// code in the process-wide error state.  A procedure reads the state right
// after its own operation, before it waits for its next event; only one
// procedure thread runs at a time, so one state serves the whole process.
#pragma once

#include <string>
#include <string_view>

namespace mirabo {

enum ErrorCode : int {
  kNoError = 0,
  kFileNotFound = 2,
  kPathNotFound = 3,
  kTooManyOpenFiles = 4,
  kAccessDenied = 5,
  kMemoryCorrupted = 7,
  kInsufficientMemory = 8,
  kEntryNotFound = 30,
  kFileIsAlreadyLocked = 32,
  kRecordNotAvailable = 33,
  kRecordNotFound = 35,
  kInvalidDataFile = 36,
  kFileNotOpen = 37,
  kInvalidKeyFile = 38,
  kCreatesDuplicateKey = 40,
  kRecordIsAlreadyHeld = 43,
  kInvalidFilename = 45,
  kKeyFileMustBeRebuilt = 46,
  kInvalidRecordDeclaration = 47,
  kFileAlreadyOpen = 52,
  kNoCreateAttribute = 54,
  kExclusiveAccessRequired = 63,
  kMemoFileMissing = 73,
  kInvalidFieldTypeDescriptor = 75,
  kUnsupportedDataType = 79,
  kUnsupportedFunction = 80,
  kUnknownErrorPosted = 81,
  kFileSystemError = 90,
};

// Operating-system error numbers reach the program as 300 + n.
constexpr int kOsErrorBase = 300;

// The text of `code`; a code without text gives "Unknown Error Posted : <code>".
std::string ErrorText(int code);

// Maps a POSIX errno onto the runtime's codes: the numbers that the runtime
// shares with the operating system (2, 3, 4, 5, 8) directly, other system
// errors as 300 + their number, and anything without a counterpart as 90.
int ErrorFromErrno(int err);

struct ErrorState {
  int code = 0;
  int fs_number = 0;    // set with code 90: the driver's own code
  std::string fs_code;  // the same in decimal, as FileErrorCode gives it
  std::string fs_text;  // set with code 90: the driver's own text
  // The operating system's error behind the failure, when a driver knows it
  // (a write refused with 5 because the disk is full): what a message about
  // a file says after its name.  0 when there is none.
  int os_error = 0;
};

// The process-wide error state.
const ErrorState& CurrentError();

// Records `code` (0 clears) and returns it, so drivers can write
// `return SetError(kRecordNotAvailable);`.  Clears the file-system details.
int SetError(int code);
// The same, keeping the operating system's error behind it.
int SetError(int code, int os_error);

// Records code 90 with the driver's own code and text.
int SetFileSystemError(int fs_code, std::string_view fs_text, int os_error = 0);

// The system's words for the error behind the current failure ("No space
// left on device"), or empty when the driver knew of none.
std::string SystemReason();

// Makes `saved` (a copy of CurrentError() taken earlier) the error state
// again, so a message can describe a failure after other calls have run.
int RestoreError(const ErrorState& saved);

}  // namespace mirabo
