// Test main of the unit tests: configures logging into a file of its own, so
// that tests can assert the exact lines an operation writes.
#include <unistd.h>

#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "External/QuillBase.h"
#include "TestSupport.h"

namespace plinth_test {
namespace {

std::filesystem::path MakeUniqueDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto dir = base / ("plinth-unit-" + std::to_string(::getpid()) + "-" +
                       std::to_string(random()));
    if (std::filesystem::create_directory(dir)) return dir;
  }
}

std::filesystem::path& LogDir() {
  static std::filesystem::path dir;
  return dir;
}

}  // namespace

ScopedTempDir::ScopedTempDir() : path_(MakeUniqueDir()) {}

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
  const std::string text = ReadWholeFile(LogFilePath()).substr(start_);
  std::vector<LogLine> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) {
      lines.push_back({line, ""});
    } else {
      lines.push_back({line.substr(0, blank), line.substr(blank + 1)});
    }
    pos = end + 1;
  }
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
                         "log4j.appender.file.File=" + plinth_test::LogFilePath() + "\n"
                         "log4j.appender.file.Append=true\n"
                         "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                         "log4j.appender.file.layout.ConversionPattern=%p %m%n\n");
  Quill::Base::CSingleton<Quill::Base::details::CLog>::Instance()->InitLog(properties);
  return RUN_ALL_TESTS();
}
