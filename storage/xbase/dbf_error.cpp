#include "storage/xbase/dbf_error.h"

namespace mirabo::xbase {
namespace {

struct EngineError {
  int code;
  const char* text;
  int runtime;
};

constexpr EngineError kErrors[] = {
    {kErrWrite, "file write failure", 5},
    {kErrRead, "file read failure", 5},
    {kErrMemory, "memory allocation error", 8},
    {kErrSeek, "file pointer reposition failed", 35},
    {kErrFileNotFound, "file not found", 2},
    {kErrCorrupted, "file corrupted", 38},
    {kErrKeyExpression, "bad user specified key expression", 47},
    {kErrNoHandles, "no handles available", 4},
    {kErrNoIndexPages, "no index pages loaded", 90},
    {kErrPageNotLoaded, "index page was not loaded", 90},
    {kErrClose, "file close failure", 90},
    {kErrInvalidCommand, "invalid command", 90},
    {kErrInvalidHandle, "invalid handle number", 90},
    {kErrInvalidFilename, "invalid filename", 45},
    {kErrInvalidDate, "invalid date", 90},
    {kErrInvalidTime, "invalid time", 90},
    {kErrNotMemoFormat, "file not in memo format", 57},
    {kErrVersion, "invalid xBase version", 36},
    {kErrHeaderLength, "file header length error", 53},
    {kErrChangeDate, "last file change date in error", 53},
    {kErrNullAddress, "parameter address NULL", 90},
    {kErrKeyType, "invalid key type", 47},
    {kErrKeyLength, "invalid key length", 47},
    {kErrItemLength, "item length incorrect", 47},
    {kErrRootPage, "invalid root page", 38},
    {kErrKeysPerPage, "bad maximum number of keys per page", 38},
    {kErrFieldCount, "invalid number of fields", 47},
    {kErrFieldName, "field name invalid", 47},
    {kErrFieldLength, "bad field length", 47},
    {kErrDecimals, "decimal places parameter invalid", 75},
    {kErrFieldType, "invalid field type", 75},
    {kErrRecordLength, "invalid record length", 47},
    {kErrBadData, "bad data", 90},
    {kErrMemoLineLength, "memo soft line length invalid", 90},
    {kErrMdxFlag, "MDX flag in DBF file invalid", 36},
    {kErrReadOnly, "file open for reading only", 5},
    {kErrLockViolation, "file locking violation", 32},
    {kErrSharingBuffer, "sharing buffer overflow", 332},
    {kErrPathNotFound, "path not found", 3},
    {kErrAccessDenied, "access to file denied", 5},
    {kErrAccessCode, "invalid access code", 5},
    {kErrMustLock, "file must be locked first", 63},
    {kErrDisketteChanged, "diskette changed", 317},
    {kErrMinKeysPerPage, "bad minimum number of keys per page", 90},
    {kErrFilesOpen, "some files remain open", 90},
    {kErrCannotOpen, "could not open the file", 5},
    {kErrFlush, "flush to disk failure", 90},
    {kErrTagHandle, "invalid tag handle", 47},
    {kErrPageSize, "invalid page size in blocks", 90},
    {kErrTagName, "invalid tag name", 46},
    {kErrPageOffset, "invalid page offset adder", 90},
    {kErrTagTableElements, "inv. max number of tag table elements", 90},
    {kErrTagElementLength, "bad tag table element length", 90},
    {kErrTagCount, "invalid tag count", 90},
    {kErrKeySwitches, "unknown key format switches", 90},
    {kErrUnknownSwitch, "unknown switch error", 90},
    {kErrTagInUse, "tag in use", 90},
    {kErrGlobalLock, "Windows GlobalLock error", 90},
    {kErrTaskLookup, "Windows Task lookup Failed", 90},
    {kErrLockOverflow, "internal lock buffer overflow", 90},
    {kErrLockUnderflow, "internal lock buffer underflow", 90},
    {kErrLockRefused, "", 32},
};

const EngineError* Find(int code) {
  for (const EngineError& e : kErrors) {
    if (e.code == code) return &e;
  }
  return nullptr;
}

}  // namespace

std::string_view DbfErrorText(int code) {
  const EngineError* e = Find(code);
  return e ? e->text : "";
}

int RuntimeCodeOf(int code) {
  if (code == 0 || (code >= kWarnDeletedRecord && code <= kLastWarning)) return 0;
  const EngineError* e = Find(code);
  return e ? e->runtime : code;
}

}  // namespace mirabo::xbase
