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

constexpr int kLoggingLine = __LINE__ + 1;
void LoggingFunction(int value) { PLINTH_LOG(4, "[%s]value %d, name %s[%s(%d)]", value, "x"); }

TEST(PlinthLog, FillsFunctionFileAndLine) {
  plinth_test::LogCapture capture;
  LoggingFunction(7);
  const std::vector<plinth_test::LogLine> expected = {
      {"WARN", "[plinth::{anonymous}::LoggingFunction]value 7, name x[LogTest.cpp(" +
                   std::to_string(kLoggingLine) + ")]"}};
  EXPECT_EQ(capture.Lines(), expected);
}

// A helper that logs for the function that calls it.
void LoggingHelper(const LogSite& at) { PLINTH_LOG_AT(at, 5, "[%s]helper %s[%s(%d)]", "y"); }
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

}  // namespace
}  // namespace plinth
