// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Fuzz target of the file reader. The input lays out a small tree in a
// directory of its own: a file whose name (separators, dots, backslashes, no
// extension, no directory at all) and content come from the input, and its
// backup copy, each a regular file (maybe empty), a directory, a FIFO or
// nothing. The reader then reads the file, and what it answers is checked
// against what lies on disk: the text of the file or of its backup, trailing
// line feeds trimmed, or false with the text untouched; its log lines are one
// line each; and nothing on disk has changed.
//
// Input: a byte for the file's kind (and whether its path is relative, with no
// directory in front), a byte for the backup's kind (and whether its path is
// given), a byte for the name's length, a byte that splits the rest, then the
// name, the file's content and the backup's content.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Common/FileBak.h"
#include "FuzzSupport.h"

namespace {

namespace fs = std::filesystem;
using plinth_fuzz::ByteReader;

const std::string kUntouched("\0untouched", 10);

enum class Kind { kNone, kFile, kDirectory, kFifo };

Kind KindOf(std::uint8_t byte) { return static_cast<Kind>(byte & 3); }

// The name as a path below the case's directory: a NUL (which no path can
// hold) becomes "_", and the steps "." and ".." are dropped so that the path
// stays inside. Empty steps, dots elsewhere and backslashes stay.
std::string Sanitize(const std::string& name) {
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t end = name.find('/', pos);
    std::string step = name.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    for (char& c : step) {
      if (c == '\0') c = '_';
    }
    if (step != "." && step != "..") out += step;
    if (end == std::string::npos) break;
    if (step != "." && step != "..") out += '/';
    pos = end + 1;
  }
  return out;
}

// Where the reader looks for the backup of `path`: the directory before the
// last "/" or "\", "/", the last step's stem and ".data"; nothing when there
// is no separator.
std::optional<std::string> DerivedBackup(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator == std::string::npos) return std::nullopt;
  std::string stem = path.substr(separator + 1);
  const std::size_t dot = stem.rfind('.');
  if (dot != std::string::npos) stem.erase(dot);
  return path.substr(0, separator) + "/" + stem + ".data";
}

void Make(const std::string& path, Kind kind, const std::string& content) {
  std::error_code ec;
  const fs::path p(path);
  if (kind == Kind::kNone) return;
  if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
  switch (kind) {
    case Kind::kFile:
      std::ofstream(p, std::ios::binary) << content;
      break;
    case Kind::kDirectory:
      fs::create_directories(p, ec);
      break;
    case Kind::kFifo:
      ::mkfifo(path.c_str(), 0600);
      break;
    case Kind::kNone:
      break;
  }
}

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether the reader can open `path`: a regular file (the reader never opens
// anything else).
bool Opens(const std::string& path) {
  struct stat st = {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The text of `path` when it can serve: a regular file of at least one byte.
std::optional<std::string> Usable(const std::string& path) {
  if (!Opens(path)) return std::nullopt;
  std::string text = Content(path);
  if (text.empty()) return std::nullopt;
  const std::size_t last = text.find_last_not_of('\n');
  if (last != std::string::npos) text.erase(last + 1);
  return text;
}

// Everything below the current directory: names, kinds and contents.
std::string Snapshot() {
  std::vector<std::string> entries;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry =
        it->path().string() + " " + std::to_string(static_cast<int>(it->symlink_status().type()));
    if (it->is_regular_file()) entry += " " + Content(it->path().string());
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end());
  std::string all;
  for (const std::string& entry : entries) all += entry + '\n';
  return all;
}

// What the reader must answer, and how many lines it must log.
struct Expected {
  std::optional<std::string> text;
  std::size_t log_lines = 0;
};

Expected Expect(const std::string& path, const std::string& given_backup) {
  Expected expected;
  if (!Opens(path)) ++expected.log_lines;  // "open file fail"
  expected.text = Usable(path);
  if (expected.text) return expected;
  const std::optional<std::string> backup =
      given_backup.empty() ? DerivedBackup(path) : given_backup;
  if (!backup) return {std::nullopt, expected.log_lines + 1};  // "Parse File Path Fail"
  if (!Opens(*backup)) ++expected.log_lines;                   // "Open File Fail"
  expected.text = Usable(*backup);
  return expected;
}

void RunCase(ByteReader& input) {
  const std::uint8_t file_byte = input.Byte();
  const std::uint8_t backup_byte = input.Byte();
  const std::size_t name_size = input.Byte() % 96;
  const std::uint8_t split = input.Byte();
  const std::string name = Sanitize(input.Bytes(name_size));
  const std::string rest = input.Rest();
  const std::size_t cut = rest.size() * split / 255;

  // A relative path names the file from the case's directory, the current one.
  const bool relative = (file_byte & 4) != 0;
  std::string path = relative ? name : fs::current_path().string() + "/" + name;
  if (relative && !path.empty() && path[0] == '/') path = "." + path;
  const std::string given_backup = (backup_byte & 4) != 0 ? "given-backup.data" : "";

  Make(path, KindOf(file_byte), rest.substr(0, cut));
  const std::optional<std::string> backup =
      given_backup.empty() ? DerivedBackup(path) : given_backup;
  if (backup && *backup != path) Make(*backup, KindOf(backup_byte), rest.substr(cut));

  const std::string before = Snapshot();
  const Expected expected = Expect(path, given_backup);
  plinth_fuzz::TakeLogLines();

  std::string text = kUntouched;
  const bool read = plinth::CFileBak::ReadFile(text, path, given_backup);

  FUZZ_CHECK(read == expected.text.has_value(), "ReadFile answered " + std::to_string(read));
  FUZZ_CHECK(text == (read ? *expected.text : kUntouched), "ReadFile gave the wrong text");
  const std::vector<std::string> lines = plinth_fuzz::TakeLogLines();
  FUZZ_CHECK(lines.size() == expected.log_lines, "ReadFile logged " + std::to_string(lines.size()) +
                                                     " lines, not " +
                                                     std::to_string(expected.log_lines));
  for (const std::string& line : lines) {
    FUZZ_CHECK(line.rfind("ERROR [plinth::CFileBak::ReadFile]", 0) == 0, "log line: " + line);
    FUZZ_CHECK(!plinth_fuzz::HasControlCharacter(line), "a log line is not one line: " + line);
  }
  FUZZ_CHECK(Snapshot() == before, "the reader changed the files");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plinth_fuzz::CaptureLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Each input gets a fresh directory, the current one while it runs; the
  // fuzzer's own relative paths need the old one back afterwards.
  const std::string dir = plinth_fuzz::PrivateDir() + "/case";
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directory(dir);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  ByteReader input(data, size);
  RunCase(input);
  fs::current_path(previous);
  fs::remove_all(dir, ec);
  return 0;
}
