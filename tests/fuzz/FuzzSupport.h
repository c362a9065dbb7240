// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Shared pieces of the fuzz targets: a check that stops the run with a
// message, a private temporary directory, and the log lines written while one
// input runs.
#ifndef PLINTH_TESTS_FUZZ_FUZZSUPPORT_H_
#define PLINTH_TESTS_FUZZ_FUZZSUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plinth_fuzz {

// Prints `what` (with the file and line) to standard error and aborts, so
// that libFuzzer keeps the input as a finding and the corpus replay fails.
[[noreturn]] void Fail(const char* file, int line, const std::string& what);

#define FUZZ_CHECK(condition, what)                                    \
  do {                                                                 \
    if (!(condition)) ::plinth_fuzz::Fail(__FILE__, __LINE__, (what)); \
  } while (false)

// A directory of this process only (mode 0700, below $TMPDIR or /tmp),
// created on first use and removed with everything in it at exit.
const std::string& PrivateDir();

// Configures the tool's logging to write "LEVEL message" lines into a file of
// PrivateDir(). Call once, from LLVMFuzzerInitialize.
void CaptureLog();

// The lines logged since the last call (or since CaptureLog), which are then
// forgotten.
std::vector<std::string> TakeLogLines();

// True when `text` holds a byte below 0x20 or 0x7F: a log line that holds one
// is not one line.
bool HasControlCharacter(const std::string& text);

// Reads input bytes front to back; past the end every read answers 0.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // Up to `n` bytes as a string.
  std::string Bytes(std::size_t n);
  std::string Rest() { return Bytes(size_ - pos_); }
  std::size_t left() const { return size_ - pos_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace plinth_fuzz

#endif  // PLINTH_TESTS_FUZZ_FUZZSUPPORT_H_
