#include "runtime/error.h"

#include <cerrno>
#include <cstring>

namespace mirabo {
namespace {

struct CodeText {
  int code;
  const char* text;
};

constexpr CodeText kTexts[] = {
    {2, "File Not Found"},
    {3, "Path Not Found"},
    {4, "Too Many Open Files"},
    {5, "Access Denied"},
    {7, "Memory Corrupted"},
    {8, "Insufficient Memory"},
    {30, "Entry Not Found"},
    {32, "File Is Already Locked"},
    {33, "Record Not Available"},
    {35, "Record Not Found"},
    {36, "Invalid Data File"},
    {37, "File Not Open"},
    {38, "Invalid Key File"},
    {40, "Creates Duplicate Key"},
    {43, "Record Is Already Held"},
    {45, "Invalid Filename"},
    {46, "Key File Must Be Rebuilt"},
    {47, "Invalid Record Declaration"},
    {48, "Unable To Log Transaction"},
    {52, "File Already Open"},
    {53, "Invalid Tarvelo File"},
    {54, "No Create Attribute"},
    {55, "File Must Be Shared"},
    {56, "LOGOUT Already Active"},
    {57, "Invalid Memo File"},
    {63, "Exclusive Access Required"},
    {64, "Sharing Violation"},
    {65, "Unable To ROLLBACK Transaction"},
    {73, "Memo File Missing"},
    {75, "Invalid Field Type Descriptor"},
    {76, "Invalid Index String"},
    {77, "Unable To Access Index"},
    {78, "Invalid Number Of Parameters "},
    {79, "Unsupported Data Type In File"},
    {80, "Unsupported File Driver Function"},
    {81, "Unknown Error Posted"},
    {88, "Invalid Key Length"},
    {89, "Record Changed By Another Station"},
    {90, "File System Error"},
    {91, "LOGOUT Could Not Be Performed"},
    {301, "Invalid Function"},
    {302, "File Not Found"},
    {303, "Path Not Found"},
    {304, "Too Many Open Files"},
    {305, "Access Denied"},
    {306, "Invalid Handle"},
    {307, "Memory Corrupted"},
    {308, "Insufficient Memory"},
    {309, "Invalid Memory Block"},
    {310, "Invalid Environment"},
    {311, "Invalid Format"},
    {312, "Invalid Access"},
    {313, "Invalid Data"},
    {315, "Invalid Drive"},
    {316, "Invalid Operation For Current Directory"},
    {317, "Not Same Device"},
    {318, "No More Files"},
    {319, "Write Protect"},
    {320, "Invalid Unit"},
    {321, "Device Not Ready"},
    {322, "Invalid Command"},
    {323, "Media Checksum Failed"},
    {324, "Invalid Length"},
    {325, "Seek Location Inaccessible"},
    {326, "Not DOS Disk"},
    {327, "Sector Not Found"},
    {328, "Out Of Paper"},
    {329, "Write Fault"},
    {330, "Read Fault"},
    {331, "General Failure"},
    {332, "Sharing Violation"},
    {333, "Lock Violation"},
    {334, "Wrong Disk"},
    {335, "FCB Unavailable"},
    {336, "Sharing Buffer Exceeded"},
    {337, "Code Page Mismatched"},
    {338, "Handle EOF"},
    {339, "Handle Disk Full"},
    {350, "Not Supported "},
    {351, "REM Not List"},
    {352, "Duplicate Name Encountered"},
    {353, "Invalid Network Path"},
    {354, "Network Busy"},
    {355, "Device Does Not Exist"},
    {356, "Too Many Commands"},
    {357, "Adapter/Hardware Failure"},
    {358, "Invalid Network Response"},
    {359, "Unexpected Network Error"},
    {360, "Invalid REM Adapter"},
    {361, "Print Queue Full"},
    {362, "No Spool Space"},
    {363, "Print Cancelled"},
    {364, "Network Name Deleted"},
    {365, "Network Access Denied"},
    {366, "Invalid Device Type"},
    {367, "Invalid Network Name"},
    {368, "Too Many Names"},
    {369, "Too Many Sessions"},
    {370, "Sharing Paused"},
    {371, "Request Not Accepted"},
    {372, "Network Redirection Paused"},
    {380, "File Already Exists"},
    {381, "Duplicate FCB"},
    {382, "Cannot Make"},
    {383, "Fail Critical Error"},
    {384, "Out Of Structures"},
    {385, "Already Assigned"},
    {386, "Invalid Password"},
    {387, "Invalid Parameter"},
    {388, "Network Write Fault"},
    {390, "System Component Not Loaded"},
    {391, "Unknown Error"},
};

ErrorState& State() {
  static ErrorState state;
  return state;
}

}  // namespace

std::string ErrorText(int code) {
  for (const CodeText& t : kTexts) {
    if (t.code == code) return t.text;
  }
  return "Unknown Error Posted : " + std::to_string(code);
}

int ErrorFromErrno(int err) {
  // The operating-system numbers these errors have on the platform the codes
  // come from; 2 to 8 are shared with the runtime's own codes.
  int os = 0;
  switch (err) {
    case ENOENT:
      os = 2;
      break;
    case ENOTDIR:
    case ELOOP:
      os = 3;
      break;
    case EMFILE:
    case ENFILE:
      os = 4;
      break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      os = 5;
      break;
    case ENOMEM:
      os = 8;
      break;
    case EXDEV:
      os = 17;
      break;
    case EIO:
      os = 31;
      break;
    case EBUSY:
    case ETXTBSY:
      os = 32;
      break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      os = 39;
      break;
    case EEXIST:
      os = 80;
      break;
    case EINVAL:
      os = 87;
      break;
    case ENAMETOOLONG:
      return kInvalidFilename;
    default:
      break;
  }
  if (os == 0) return kFileSystemError;
  if (os <= 8) return os;
  return kOsErrorBase + os;
}

const ErrorState& CurrentError() { return State(); }

int SetError(int code) { return SetError(code, 0); }

int SetError(int code, int os_error) {
  ErrorState& s = State();
  s.code = code;
  s.fs_number = 0;
  s.fs_code.clear();
  s.fs_text.clear();
  s.os_error = os_error;
  return code;
}

std::string SystemReason() {
  const int err = State().os_error;
  return err ? std::strerror(err) : std::string();
}

int SetFileSystemError(int fs_code, std::string_view fs_text, int os_error) {
  ErrorState& s = State();
  s.code = kFileSystemError;
  s.os_error = os_error;
  s.fs_number = fs_code;
  s.fs_code = std::to_string(fs_code);
  s.fs_text = fs_text;
  return kFileSystemError;
}

int RestoreError(const ErrorState& saved) {
  State() = saved;
  return saved.code;
}

}  // namespace mirabo
