// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>

#include <cerrno>

#include "Common/FileBak.h"
#include "support/TempDir.h"
#include "unit/LogCapture.h"

namespace plinth {
namespace {

using plinth_test::LogCapture;
using plinth_test::LogLine;
using plinth_test::ScopedTempDir;
using plinth_test::WriteFile;

TEST(FileBakRead, ContentCases) {
  const struct {
    const char* name;
    std::string content;
    std::string expected;
  } cases[] = {
      {"trailing line feeds trimmed", "abc\n\n", "abc"},
      {"carriage return kept", "abc\r\n", "abc\r"},
      {"only line feeds kept whole", "\n\n\n", "\n\n\n"},
      {"no trailing line feed", "a\nb", "a\nb"},
      {"NUL bytes kept", std::string("a\0b\0\n", 5), std::string("a\0b\0", 4)},
      {"single byte", "x", "x"},
  };
  ScopedTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.Sub("file.xml");
    WriteFile(path, c.content);
    std::string text = "old";
    LogCapture capture;
    EXPECT_TRUE(CFileBak::ReadFile(text, path)) << c.name;
    EXPECT_EQ(text, c.expected) << c.name;
    EXPECT_TRUE(capture.Lines().empty()) << c.name;
  }
}

TEST(FileBakRead, EmptyFileFallsBackToBackupSilently) {
  ScopedTempDir dir;
  WriteFile(dir.Sub("DBConfig.xml"), "");
  WriteFile(dir.Sub("DBConfig.data"), "<backup/>\n");
  std::string text;
  LogCapture capture;
  EXPECT_TRUE(CFileBak::ReadFile(text, dir.Sub("DBConfig.xml")));
  EXPECT_EQ(text, "<backup/>");
  EXPECT_TRUE(capture.Lines().empty());
}

// Where the backup of a missing file is looked for, and what is logged.
TEST(FileBakRead, BackupPathCases) {
  ScopedTempDir dir;
  const std::string d = dir.path().string();
  const struct {
    const char* name;
    std::string file;
    std::string backup_arg;
    std::string backup_tried;  // empty: no backup is tried
  } cases[] = {
      {"extension dropped", d + "/DBConfig.xml", "", d + "/DBConfig.data"},
      {"no extension", d + "/README", "", d + "/README.data"},
      {"leading dot", d + "/.cfg", "", d + "/.data"},
      {"last dot wins", d + "/a.b.sql", "", d + "/a.b.data"},
      {"backslash separator", d + "/sub\\x.xml", "", d + "/sub/x.data"},
      {"explicit backup", d + "/x.xml", d + "/elsewhere.bak", d + "/elsewhere.bak"},
  };
  for (const auto& c : cases) {
    std::string text = "kept";
    LogCapture capture;
    EXPECT_FALSE(CFileBak::ReadFile(text, c.file, c.backup_arg)) << c.name;
    EXPECT_EQ(text, "kept") << c.name;
    const std::vector<LogLine> expected = {
        {"ERROR", "[plinth::CFileBak::ReadFile]open file fail. file path:" + c.file +
                      ", errno_t:2.[FileBak.cpp(*)]"},
        {"ERROR", "[plinth::CFileBak::ReadFile]Open File Fail. file path:" + c.backup_tried +
                      ", errno_t:2.[FileBak.cpp(*)]"}};
    EXPECT_EQ(capture.LinesWithoutNumbers(), expected) << c.name;

    WriteFile(c.backup_tried, "from backup\n");
    EXPECT_TRUE(CFileBak::ReadFile(text, c.file, c.backup_arg)) << c.name;
    EXPECT_EQ(text, "from backup") << c.name;
  }
}

TEST(FileBakRead, BareNameTriesNoBackup) {
  std::string text;
  LogCapture capture;
  EXPECT_FALSE(CFileBak::ReadFile(text, "plinth-no-such-file.xml"));
  const std::vector<LogLine> expected = {
      {"ERROR",
       "[plinth::CFileBak::ReadFile]open file fail. file path:plinth-no-such-file.xml, "
       "errno_t:2.[FileBak.cpp(*)]"},
      {"ERROR",
       "[plinth::CFileBak::ReadFile]Parse File Path Fail. file_path_name:"
       "plinth-no-such-file.xml, file_path:, file_name:, file_type:.[FileBak.cpp(*)]"}};
  EXPECT_EQ(capture.LinesWithoutNumbers(), expected);
}

TEST(FileBakRead, EmptyBackupFailsSilently) {
  ScopedTempDir dir;
  WriteFile(dir.Sub("x.xml"), "");
  WriteFile(dir.Sub("x.data"), "");
  std::string text = "kept";
  LogCapture capture;
  EXPECT_FALSE(CFileBak::ReadFile(text, dir.Sub("x.xml")));
  EXPECT_EQ(text, "kept");
  EXPECT_TRUE(capture.Lines().empty());
}

TEST(FileBakRead, DirectoryIsNotReadButItsBackupIs) {
  ScopedTempDir dir;
  WriteFile(dir.Sub("create_tables.sql/inside"), "x");
  std::string text;
  EXPECT_FALSE(CFileBak::ReadFile(text, dir.Sub("create_tables.sql")));
  WriteFile(dir.Sub("create_tables.data"), "CREATE TABLE t(a);");
  EXPECT_TRUE(CFileBak::ReadFile(text, dir.Sub("create_tables.sql")));
  EXPECT_EQ(text, "CREATE TABLE t(a);");
}

// A read that fails is told apart from the end of the file: a script cut
// short by it must not pass for the whole script. Reading this process's
// memory from offset 0 fails with EIO, as a failing disk would.
TEST(InputFile, AFailedReadIsToldApartFromTheEnd) {
  CInputFile file;
  ASSERT_EQ(file.Open("/proc/self/mem"), 0);
  std::string block;
  EXPECT_EQ(file.Read(block, 4096), 0u);
  EXPECT_EQ(file.ReadError(), EIO);

  ScopedTempDir dir;
  WriteFile(dir.Sub("script.sql"), "SELECT 1;");
  ASSERT_EQ(file.Open(dir.Sub("script.sql")), 0);
  EXPECT_EQ(file.Read(block, 4096), 9u);
  EXPECT_EQ(file.Read(block, 4096), 0u);
  EXPECT_EQ(file.ReadError(), 0);
}

TEST(FileBakParseFilePath, SplitsAndLeavesTypeAloneWithoutDot) {
  std::string path, name, type = "untouched";
  EXPECT_TRUE(CFileBak::ParseFilePath("dir/sub\\README", path, name, type));
  EXPECT_EQ(path, "dir/sub");
  EXPECT_EQ(name, "README");
  EXPECT_EQ(type, "untouched");
  EXPECT_FALSE(CFileBak::ParseFilePath("README.md", path, name, type));
  EXPECT_EQ(path, "dir/sub");
}

}  // namespace
}  // namespace plinth
