// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>

#include "Common/Log.h"
#include "unit/LogCapture.h"

namespace plinth {
namespace {

TEST(QualifiedFunctionName, StripsReturnTypeSpecifiersAndParameters) {
  const struct {
    const char* signature;
    const char* name;
  } cases[] = {
      {"bool plinth::CToolSetup::InitSetup()", "plinth::CToolSetup::InitSetup"},
      {"int main(int, char**)", "main"},
      {"static bool plinth::CFileBak::ReadFile(std::string&, const string&, const string&)",
       "plinth::CFileBak::ReadFile"},
      {"std::map<std::__cxx11::basic_string<char>, int> plinth::Build(const std::vector<int>&)",
       "plinth::Build"},
      {"bool __cdecl plinth::CInitDBManager::RunDBInit(void)", "plinth::CInitDBManager::RunDBInit"},
      {"plinth::CToolSetup::InitSetup", "plinth::CToolSetup::InitSetup"},
  };
  for (const auto& c : cases) EXPECT_EQ(QualifiedFunctionName(c.signature), c.name) << c.signature;
}

TEST(SourceBaseName, TakesTheLastComponent) {
  EXPECT_STREQ(SourceBaseName("/a/b/InitDBManager.cpp"), "InitDBManager.cpp");
  EXPECT_STREQ(SourceBaseName("C:\\src\\main.cpp"), "main.cpp");
  EXPECT_STREQ(SourceBaseName("main.cpp"), "main.cpp");
}

// Logs one line; returns the line of its log call.
int LoggingFunction(int value) {
  PLINTH_LOG(LogLevel::kWarn, "[%s]value %d, name %s[%s(%d)]", value, "x");
  return __LINE__ - 1;
}

TEST(PlinthLog, FillsFunctionFileAndLine) {
  plinth_test::LogCapture capture;
  const int line = LoggingFunction(7);
  const std::vector<plinth_test::LogLine> expected = {
      {"WARN", "[plinth::{anonymous}::LoggingFunction]value 7, name x[LogTest.cpp(" +
                   std::to_string(line) + ")]"}};
  EXPECT_EQ(capture.Lines(), expected);
}

// A helper that logs for the function that calls it.
void LoggingHelper(const LogSite& at) {
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]helper %s[%s(%d)]", "y");
}
constexpr int kCallLine = __LINE__ + 1;
void Operation() { LoggingHelper(PLINTH_HERE); }

TEST(PlinthLog, AtASiteTakesTheCallersFunctionFileAndLine) {
  plinth_test::LogCapture capture;
  Operation();
  const std::vector<plinth_test::LogLine> expected = {
      {"ERROR",
       "[plinth::{anonymous}::Operation]helper y[LogTest.cpp(" + std::to_string(kCallLine) + ")]"}};
  EXPECT_EQ(capture.Lines(), expected);
}

TEST(PlinthLog, LevelsMapToLog4cxxLevels) {
  plinth_test::LogCapture capture;
  for (int level = 1; level <= 6; ++level)
    Quill::Base::details::VexaFormatLog(level, "PLINTH", "%d", level);
  const std::vector<plinth_test::LogLine> expected = {
      {"TRACE", "1"}, {"DEBUG", "2"}, {"INFO", "3"}, {"WARN", "4"}, {"ERROR", "5"}, {"FATAL", "6"}};
  EXPECT_EQ(capture.Lines(), expected);
}

TEST(PlinthLog, ControlCharactersAreEscapedAndTheLineStaysOne) {
  plinth_test::LogCapture capture;
  Quill::Base::details::VexaFormatLog(3, "PLINTH", "[%s]name %s[%s(%d)]", "f",
                                      "a\nINFO forged\r\t\x01\x1b[0m\x7f \\n \xc3\xa9", "x.cpp", 1);
  const std::vector<plinth_test::LogLine> expected = {
      {"INFO", "[f]name a\\nINFO forged\\r\\t\\x01\\x1b[0m\\x7f \\n \xc3\xa9[x.cpp(1)]"}};
  EXPECT_EQ(capture.Lines(), expected);
}

// Characters that a reader may take for a line break, and bytes that are not
// UTF-8 (which a reader of another code page may take for one: 0x85 is the
// next line in ISO-8859-1), are escaped; every other character stays.
TEST(PlinthLog, UnicodeLineBreaksAndBytesThatAreNotUtf8AreEscaped) {
  const struct {
    const char* text;
    const char* logged;
  } cases[] = {
      {"a\xc2\x85"
       "b\xc2\x80\xc2\x9f",
       "a\\u0085b\\u0080\\u009f"},
      {"a\xe2\x80\xa8"
       "b\xe2\x80\xa9",
       "a\\u2028b\\u2029"},
      // Characters beside them stay: U+00A0, U+2027, U+202A, CJK, an emoji.
      {"\xc2\xa0\xe2\x80\xa7\xe2\x80\xaa\xe4\xb8\xad\xf0\x9f\x98\x80",
       "\xc2\xa0\xe2\x80\xa7\xe2\x80\xaa\xe4\xb8\xad\xf0\x9f\x98\x80"},
      // A lone byte, a truncated sequence, an overlong line feed, a surrogate,
      // a value above U+10FFFF, a stray continuation byte.
      {"\x85|\xe2\x80|\xc0\x8a|\xed\xa0\x80|\xf4\x90\x80\x80|\x9f",
       "\\x85|\\xe2\\x80|\\xc0\\x8a|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|\\x9f"},
      // GBK text is not UTF-8: its bytes, 0x80 to 0x9F among them, are escaped
      // one by one and never read as C1 controls.
      {"\x81\x85\xd6\xd0", "\\x81\\x85\\xd6\\xd0"},
  };
  for (const auto& c : cases) {
    plinth_test::LogCapture capture;
    Quill::Base::details::VexaFormatLog(3, "PLINTH", "%s", c.text);
    EXPECT_EQ(capture.Lines(), (std::vector<plinth_test::LogLine>{{"INFO", c.logged}})) << c.logged;
  }
}

}  // namespace
}  // namespace plinth
