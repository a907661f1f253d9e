// The one shape of Windows error messages: "<action> <thing>: <system text> (error <code>)" in
// one line.
#include "platform/error_win32.h"
#include "platform/unique_handle_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace ordex {
namespace {

// The system's words are in the PC's language; the code a collector matches is not.
TEST(Win32ErrorText, IsOneLineEndingInItsCode) {
  for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                           ERROR_SHARING_VIOLATION, ERROR_DISK_FULL, ERROR_INVALID_HANDLE}) {
    SCOPED_TRACE(code);
    const std::string text = SystemErrorText(code);
    const std::string number = " (error " + std::to_string(code) + ")";
    EXPECT_THAT(text, ::testing::EndsWith(number));
    EXPECT_GT(text.size(), number.size() + 1) << text;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_NE(text[text.size() - number.size() - 1], ' ') << text;
  }
}

TEST(Win32ErrorText, UnknownCodeIsNamedByItsNumber) {
  EXPECT_EQ(SystemErrorText(0x2000FFFF), "error 536936447");
}

TEST(Win32ErrorText, MessageNamesActionThingAndCause) {
  const Error error =
      Win32Error("cannot open", "C:\\XOC\\ROBOTER\\INIT\\hw_inf.ini", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(std::string(error.what()), "cannot open C:\\XOC\\ROBOTER\\INIT\\hw_inf.ini: " +
                                           SystemErrorText(ERROR_FILE_NOT_FOUND));
}

TEST(Win32UniqueHandle, ClosesOnceAndReportsTheClose) {
  UniqueHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.valid());
  UniqueHandle moved(std::move(event));
  EXPECT_FALSE(event.valid());
  EXPECT_TRUE(moved.valid());
  EXPECT_TRUE(moved.Close());
  EXPECT_FALSE(moved.valid());
  EXPECT_TRUE(moved.Close());  // nothing left to close
  EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE).valid());
}

}  // namespace
}  // namespace ordex
