// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

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

// A file that is empty or cannot be opened (a directory) gives way to its
// backup, when that holds a byte: what is read, and what is logged.
TEST(FileBakRead, FallbackToTheBackup) {
  ScopedTempDir dir;
  const std::string file = dir.Sub("x.xml");
  const std::string backup = dir.Sub("x.data");
  const LogLine directory_refused = {
      "ERROR", "[plinth::CFileBak::ReadFile]open file fail. file path:" + file +
                   ", errno_t:21.[FileBak.cpp(*)]"};
  const LogLine backup_missing = {
      "ERROR", "[plinth::CFileBak::ReadFile]Open File Fail. file path:" + backup +
                   ", errno_t:2.[FileBak.cpp(*)]"};
  const struct {
    const char* name;
    bool file_is_directory;  // else an empty file
    const char* backup;      // its content; null: there is none
    bool read;
    std::string text;
    std::vector<LogLine> lines;
  } cases[] = {
      {"empty file, backup read", false, "<backup/>\n", true, "<backup/>", {}},
      {"empty file, empty backup", false, "", false, "kept", {}},
      {"directory, no backup", true, nullptr, false, "kept", {directory_refused, backup_missing}},
      {"directory, backup read",
       true,
       "CREATE TABLE t(a);",
       true,
       "CREATE TABLE t(a);",
       {directory_refused}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(file);
    std::filesystem::remove_all(backup);
    WriteFile(c.file_is_directory ? file + "/inside" : file, "");
    if (c.backup != nullptr) WriteFile(backup, c.backup);
    std::string text = "kept";
    LogCapture capture;
    EXPECT_EQ(CFileBak::ReadFile(text, file), c.read) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
    EXPECT_EQ(capture.LinesWithoutNumbers(), c.lines) << c.name;
  }
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
