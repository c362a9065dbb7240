// Test main of the unit tests: configures logging into a file of its own, so
// that tests can assert the exact lines an operation writes.
#include <gtest/gtest.h>

#include <fstream>

#include "External/QuillBase.h"
#include "TestSupport.h"

namespace plinth_test {
namespace {

std::filesystem::path& LogDir() {
  static std::filesystem::path dir;
  return dir;
}

}  // namespace

ScopedTempDir::ScopedTempDir() : path_(plinth_e2e::MakeTempDir("plinth-unit")) {}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ScopedTempDir::Sub(const std::string& relative) const {
  return (path_ / relative).string();
}

void WriteFile(const std::string& path, const std::string& content) {
  const auto parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string LogFilePath() { return (LogDir() / "test.log").string(); }

LogCapture::LogCapture() {
  std::error_code ec;
  start_ = std::filesystem::file_size(LogFilePath(), ec);
  if (ec) start_ = 0;
}

std::vector<LogLine> LogCapture::Lines() const {
  return plinth_e2e::ParseLog(ReadWholeFile(LogFilePath()).substr(start_));
}

std::vector<LogLine> LogCapture::LinesWithoutNumbers() const {
  std::vector<LogLine> lines = Lines();
  for (LogLine& line : lines) line.message = plinth_e2e::WithoutLineNumber(line.message);
  return lines;
}

}  // namespace plinth_test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  static plinth_test::ScopedTempDir log_dir;
  plinth_test::LogDir() = log_dir.path();
  const std::string properties = log_dir.Sub("test.properties");
  plinth_test::WriteFile(properties,
                         "log4j.rootLogger=TRACE, file\n"
                         "log4j.appender.file=org.apache.log4j.FileAppender\n"
                         "log4j.appender.file.File=" +
                             plinth_test::LogFilePath() +
                             "\n"
                             "log4j.appender.file.Append=true\n"
                             "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                             "log4j.appender.file.layout.ConversionPattern=%p %m%n\n");
  Quill::Base::CSingleton<Quill::Base::details::CLog>::Instance()->InitLog(properties);
  return RUN_ALL_TESTS();
}
