#include "core/file_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kwl {
namespace {

std::FILE* Scratch() {
  return std::tmpfile();
}

TEST(FileTable, HandlesAreNeverGivenTwice) {
  FileTable files;
  int32_t first = files.Add(Scratch());
  int32_t reserved = files.Reserve();
  ASSERT_NE(first, 0);
  ASSERT_NE(reserved, 0);
  EXPECT_EQ(files.Close(first), FileTable::CloseResult::kClosed);
  int32_t second = files.Add(Scratch());
  // A page still holding the closed handle must not reach the new file.
  EXPECT_NE(second, first);
  EXPECT_NE(second, reserved);
  EXPECT_EQ(files.Find(first), nullptr);
  EXPECT_NE(files.Find(second), nullptr);
}

TEST(FileTable, HandlesWithoutStreamsFindNothing) {
  FileTable files;
  int32_t open = files.Add(Scratch());
  int32_t reserved = files.Reserve();
  for (int32_t forged : {0, -1, reserved, open + 100, INT32_MAX, INT32_MIN}) {
    EXPECT_EQ(files.Find(forged), nullptr) << forged;
    EXPECT_EQ(files.Close(forged), FileTable::CloseResult::kUnknown) << forged;
  }
  EXPECT_EQ(files.Close(open), FileTable::CloseResult::kClosed);
  EXPECT_EQ(files.Close(open), FileTable::CloseResult::kUnknown);
}

TEST(FileTable, HeldStreamIsNotClosedUntilReleased) {
  FileTable files;
  int32_t handle = files.Add(Scratch());
  files.Hold(handle);
  files.Hold(handle);
  EXPECT_EQ(files.Close(handle), FileTable::CloseResult::kBusy);
  files.Release(handle);
  EXPECT_EQ(files.Close(handle), FileTable::CloseResult::kBusy);
  files.Release(handle);
  EXPECT_EQ(files.Close(handle), FileTable::CloseResult::kClosed);
  files.Release(handle);  // releasing a closed handle is harmless
}

TEST(FileTable, OpenFilesAreFlushedWhenTheTableGoes) {
  char path[] = "/tmp/kwl_file_table_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  {
    FileTable files;
    std::FILE* stream = fdopen(fd, "wb");
    files.Add(stream);
    std::fputs("kept", stream);
  }
  std::FILE* back = std::fopen(path, "rb");
  ASSERT_NE(back, nullptr);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, back), 4u);
  EXPECT_STREQ(text, "kept");
  std::fclose(back);
  std::remove(path);
}

}  // namespace
}  // namespace kwl
