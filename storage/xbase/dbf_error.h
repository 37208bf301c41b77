// The table engine's result codes: 0, positive warnings (the operation took
// place), negative errors (it did not), each error with its own text and the
// runtime error code (runtime/error.h) that the xBase driver reports for it.
#pragma once

#include <string_view>

namespace mirabo::xbase {

enum DbfCode : int {
  kDbfOk = 0,

  // Warnings.
  kWarnDeletedRecord = 201,  // the record read carries the deletion flag
  kWarnBlankField = 202,     // the field fetched is all blanks
  kWarnTruncated = 203,      // the text put was longer than the field
  kLastWarning = 214,

  // Errors, in the order of their texts.
  kErrWrite = -201,
  kErrRead = -202,
  kErrMemory = -203,
  kErrSeek = -204,
  kErrFileNotFound = -205,
  kErrCorrupted = -206,
  kErrKeyExpression = -207,
  kErrNoHandles = -208,
  kErrNoIndexPages = -209,
  kErrPageNotLoaded = -210,
  kErrClose = -211,
  kErrInvalidCommand = -212,
  kErrInvalidHandle = -213,
  kErrInvalidFilename = -214,
  kErrInvalidDate = -215,
  kErrInvalidTime = -216,
  kErrNotMemoFormat = -217,
  kErrVersion = -218,
  kErrHeaderLength = -219,
  kErrChangeDate = -220,
  kErrNullAddress = -221,
  kErrKeyType = -222,
  kErrKeyLength = -223,
  kErrItemLength = -224,
  kErrRootPage = -225,
  kErrKeysPerPage = -226,
  kErrFieldCount = -227,
  kErrFieldName = -228,
  kErrFieldLength = -229,
  kErrDecimals = -230,
  kErrFieldType = -231,
  kErrRecordLength = -232,
  kErrBadData = -233,
  kErrMemoLineLength = -234,
  kErrMdxFlag = -235,
  kErrReadOnly = -236,
  kErrLockViolation = -237,
  kErrSharingBuffer = -238,
  kErrPathNotFound = -239,
  kErrAccessDenied = -240,
  kErrAccessCode = -241,
  kErrMustLock = -242,
  kErrDisketteChanged = -243,
  kErrMinKeysPerPage = -244,
  kErrFilesOpen = -245,
  kErrCannotOpen = -246,
  kErrFlush = -247,
  kErrTagHandle = -248,
  kErrPageSize = -249,
  kErrTagName = -250,
  kErrPageOffset = -251,
  kErrTagTableElements = -252,
  kErrTagElementLength = -253,
  kErrTagCount = -254,
  kErrKeySwitches = -255,
  kErrUnknownSwitch = -256,
  kErrTagInUse = -257,
  kErrGlobalLock = -258,
  kErrTaskLookup = -259,
  kErrLockOverflow = -260,
  kErrLockUnderflow = -261,
  kErrLockRefused = -279,  // the operating system refused a lock; no text
};

inline bool IsDbfError(int code) { return code < 0; }
inline bool IsDbfWarning(int code) { return code > 0; }

// The engine's text of an error ("file write failure"); empty for -279, for
// warnings and for codes the engine does not have.
std::string_view DbfErrorText(int code);

// The runtime error code of an engine result: 0 for 0 and the warnings, the
// table's code for a known error, the result itself for anything else.
int RuntimeCodeOf(int code);

}  // namespace mirabo::xbase
