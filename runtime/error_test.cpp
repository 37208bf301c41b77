#include "runtime/error.h"

#include <cerrno>
#include <utility>

#include <gtest/gtest.h>

#include "runtime/access.h"

namespace mirabo {
namespace {

TEST(ErrorTextTest, KnownCodesGiveTheirExactText) {
  const std::pair<int, const char*> cases[] = {{2, "File Not Found"},
                                               {33, "Record Not Available"},
                                               {46, "Key File Must Be Rebuilt"},
                                               {47, "Invalid Record Declaration"},
                                               {78, "Invalid Number Of Parameters "},
                                               {90, "File System Error"},
                                               {302, "File Not Found"},
                                               {339, "Handle Disk Full"},
                                               {350, "Not Supported "},
                                               {391, "Unknown Error"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(ErrorText(code), text) << code;
}

TEST(ErrorTextTest, CodeWithoutTextNamesTheCode) {
  for (int code : {0, 1, 314, 392, 999, -5}) {
    EXPECT_EQ(ErrorText(code), "Unknown Error Posted : " + std::to_string(code));
  }
}

TEST(ErrorFromErrnoTest, MapsSystemErrorsOntoRuntimeCodes) {
  const std::pair<int, int> cases[] = {
      {ENOENT, 2}, {ENOTDIR, 3},  {EMFILE, 4},   {EACCES, 5},        {EROFS, 5},
      {ENOMEM, 8}, {ENOSPC, 339}, {EEXIST, 380}, {ENAMETOOLONG, 45}, {EPROTO, 90}};
  for (const auto& [err, code] : cases) EXPECT_EQ(ErrorFromErrno(err), code) << "errno " << err;
}

TEST(ErrorStateTest, FileSystemDetailsLastUntilTheNextSetError) {
  EXPECT_EQ(SetFileSystemError(1205, "Deadlock detected"), kFileSystemError);
  EXPECT_EQ(CurrentError().code, 90);
  EXPECT_EQ(CurrentError().fs_code, "1205");
  EXPECT_EQ(CurrentError().fs_number, 1205);
  EXPECT_EQ(CurrentError().fs_text, "Deadlock detected");

  EXPECT_EQ(SetError(kRecordNotAvailable), 33);
  EXPECT_EQ(CurrentError().code, 33);
  EXPECT_TRUE(CurrentError().fs_code.empty());

  SetFileSystemError(7, "Broken");
  EXPECT_EQ(SetError(0), 0);
  EXPECT_EQ(CurrentError().code, 0);
  EXPECT_TRUE(CurrentError().fs_code.empty() && CurrentError().fs_text.empty());
}

TEST(AccessModeTest, ProgramModesAndTheirBits) {
  static_assert(kOpenShared == 0x40 && kOpenExclusive == 0x22);
  EXPECT_TRUE(CanRead(kOpenShared) && !CanWrite(kOpenShared));
  EXPECT_TRUE(CanRead(kOpenExclusive) && CanWrite(kOpenExclusive));
  EXPECT_TRUE(!CanRead(kWriteOnly | kDenyAll) && CanWrite(kWriteOnly | kDenyAll));
  EXPECT_EQ(AccessBits(kOpenExclusive), kReadWrite);
  EXPECT_EQ(SharingBits(kOpenExclusive), kDenyWrite);
  EXPECT_EQ(SharingBits(kOpenShared), kDenyNone);
}

}  // namespace
}  // namespace mirabo
