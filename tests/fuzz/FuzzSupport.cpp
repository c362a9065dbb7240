// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "QuillBase.h"

namespace plinth_fuzz {
namespace fs = std::filesystem;
namespace {

std::string LogPath() { return PrivateDir() + "/fuzz.log"; }

void RemovePrivateDir() {
  std::error_code ec;
  fs::remove_all(PrivateDir(), ec);
}

}  // namespace

void Fail(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s(%d): check failed: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

const std::string& PrivateDir() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/plinth-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    return pattern;
  }();
  static const bool registered = std::atexit(RemovePrivateDir) == 0;
  (void)registered;
  return dir;
}

void CaptureLog() {
  const std::string properties = PrivateDir() + "/fuzz.properties";
  std::ofstream(properties) << "log4j.rootLogger=TRACE, file\n"
                               "log4j.appender.file=org.apache.log4j.FileAppender\n"
                               "log4j.appender.file.File="
                            << LogPath()
                            << "\n"
                               "log4j.appender.file.Append=true\n"
                               "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                               "log4j.appender.file.layout.ConversionPattern=%p %m%n\n";
  Quill::Base::CSingleton<Quill::Base::details::CLog>::Instance()->InitLog(properties);
}

std::vector<std::string> TakeLogLines() {
  std::string text;
  {
    std::ifstream in(LogPath(), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The appender writes in append mode, so its next line lands at the new end.
  if (!text.empty()) fs::resize_file(LogPath(), 0);
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t end = text.find('\n', pos);
    FUZZ_CHECK(end != std::string::npos, "a log line without its line feed");
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

bool HasControlCharacter(const std::string& text) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

std::string ByteReader::Bytes(std::size_t n) {
  if (n > size_ - pos_) n = size_ - pos_;
  std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
  pos_ += n;
  return out;
}

}  // namespace plinth_fuzz
