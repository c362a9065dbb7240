// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Tests of the Windows platform layer (lib/Port/PortWin32.cpp and
// CrashWin32.cpp), on Windows or under wine. A self-contained program; the
// cases that need other processes start copies of it with one of the child
// commands of main().
//
//   plinth_windows_port_tests [--acp <code page>] [<test>...]
//
// runs the tests named, or all. --acp fails the run at once unless the
// system's ANSI code page is the one given. The code-page and directory cases
// are written for the code pages 1252 (Western European) and 936 (Simplified
// Chinese); under any other only the cases common to all code pages run. Exit
// code 0 when every check passed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// dbghelp.h needs the declarations of windows.h first.
#include <dbghelp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "Crash.h"
#include "Port.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// ---------------------------------------------------------------------------
// Checks.

int g_checks = 0;
int g_failures = 0;

std::string Show(const std::string& text) {
  std::string shown = "\"";
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    }
  }
  return shown + "\"";
}
std::string Show(bool value) { return value ? "true" : "false"; }
std::string Show(int value) { return std::to_string(value); }
std::string Show(unsigned long value) {
  char hex[32];
  std::snprintf(hex, sizeof hex, "%lu (0x%lx)", value, value);
  return hex;
}
std::string Show(const std::set<std::string>& names) {
  std::string shown = "{";
  for (const std::string& name : names) shown += (shown.size() > 1 ? ", " : "") + Show(name);
  return shown + "}";
}

template <typename T>
void ExpectEq(const T& expected, const T& actual, const std::string& what, int line) {
  ++g_checks;
  if (expected == actual) return;
  ++g_failures;
  std::printf("  FAILED (line %d): %s\n    expected %s\n    actual   %s\n", line, what.c_str(),
              Show(expected).c_str(), Show(actual).c_str());
}

#define EXPECT_EQ(expected, actual, what) \
  ExpectEq<decltype(expected)>(expected, actual, what, __LINE__)
#define EXPECT_TRUE(condition, what)                                                          \
  ExpectEq<bool>(true, static_cast<bool>(condition), std::string(#condition) + ": " + (what), \
                 __LINE__)

// ---------------------------------------------------------------------------
// Text, paths and processes.

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], n);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], n, nullptr, nullptr);
  return utf8;
}

fs::path PathOf(const std::string& utf8) { return fs::path(Wide(utf8)); }
std::string Utf8Of(const fs::path& path) { return Utf8(path.wstring()); }

fs::path SelfPath() {
  std::vector<wchar_t> buf(32768);
  const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  return fs::path(std::wstring(buf.data(), n));
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWhole(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Sets the last write time of the file or directory `path` to `seconds`
// after a moment a year ago.
void SetAge(const fs::path& path, int seconds) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t;
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  constexpr ULONGLONG kTicksPerSecond = 10000000;
  t.QuadPart = t.QuadPart - 365ULL * 86400 * kTicksPerSecond + seconds * kTicksPerSecond;
  const FILETIME time = {t.LowPart, t.HighPart};
  const HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_TRUE(handle != INVALID_HANDLE_VALUE && SetFileTime(handle, nullptr, nullptr, &time),
              "set the time of " + Utf8Of(path));
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

// A directory of the test's own below the temporary directory, removed with
// everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    path_ =
        fs::temp_directory_path() / ("plinth-port-test-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

ScratchDir* g_scratch = nullptr;

// A child process: this program (or a copy of it) with a child command.
class Child {
 public:
  // Starts `exe` with `args`; its standard output and error go to a file.
  Child(const fs::path& exe, const std::string& args) {
    static int serial = 0;
    output_path_ = g_scratch->path() / ("child-" + std::to_string(++serial) + ".out");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    output_ = CreateFileW(output_path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output_;
    startup.hStdError = output_;
    std::wstring command = L"\"" + exe.wstring() + L"\" " + Wide(args);
    started_ = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &process_) != 0;
    EXPECT_TRUE(started_, "start " + Utf8Of(exe) + " " + args);
  }
  ~Child() {
    if (started_) {
      TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
    if (output_ != INVALID_HANDLE_VALUE) CloseHandle(output_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  DWORD pid() const { return started_ ? process_.dwProcessId : 0; }

  // Waits for the end (a minute at most). Returns the exit code; fills
  // `*output` with what the child wrote.
  DWORD Wait(std::string* output = nullptr) {
    DWORD code = 0xFFFFFFFF;
    if (started_) {
      const bool ended = WaitForSingleObject(process_.hProcess, 60000) == WAIT_OBJECT_0;
      EXPECT_TRUE(ended, "the child ends within a minute");
      if (ended) GetExitCodeProcess(process_.hProcess, &code);
    }
    CloseHandle(output_);
    output_ = INVALID_HANDLE_VALUE;
    if (output != nullptr) *output = ReadWhole(output_path_);
    return code;
  }

 private:
  PROCESS_INFORMATION process_ = {};
  HANDLE output_ = INVALID_HANDLE_VALUE;
  fs::path output_path_;
  bool started_ = false;
};

DWORD RunChild(const std::string& args, std::string* output = nullptr) {
  return Child(SelfPath(), args).Wait(output);
}

// The value of "<key>=<value>" lines in a child's output; empty when absent.
std::string ValueOf(const std::string& output, const std::string& key) {
  const std::string prefix = key + "=";
  std::size_t at = output.rfind("\n" + prefix);
  at = at == std::string::npos ? (output.compare(0, prefix.size(), prefix) == 0 ? 0 : at) : at + 1;
  if (at == std::string::npos) return std::string();
  const std::size_t begin = at + prefix.size();
  const std::size_t end = output.find_first_of("\r\n", begin);
  return output.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const unsigned char c : bytes) {
    hex += "0123456789abcdef"[c >> 4];
    hex += "0123456789abcdef"[c & 0xf];
  }
  return hex;
}

std::string Unhex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

// ---------------------------------------------------------------------------
// Path separator and library suffix.

void TestSeparatorAndSuffix() {
  EXPECT_EQ("\\"s, std::string(port::kPathSeparator), "path separator");
  EXPECT_EQ(".dll"s, std::string(port::kSharedLibrarySuffix), "library suffix");
  EXPECT_EQ("META_INFO\\SQLiteConf\\SQLiteConfig.xml"s,
            port::NativePath("META_INFO/SQLiteConf/SQLiteConfig.xml"), "NativePath");
  EXPECT_EQ("\\..\\Product.xml"s, port::NativePath("\\../Product.xml"), "NativePath");
}

// ---------------------------------------------------------------------------
// Single instance.

// The guard's answer as an exit code.
DWORD Code(port::InstanceGuard answer) { return static_cast<DWORD>(answer); }

port::InstanceGuard TakeGuard(const std::string& name, std::string* problem = nullptr) {
  std::string where, why;
  const port::InstanceGuard answer = port::TakeInstanceGuard(name.c_str(), &where, &why);
  if (problem != nullptr) *problem = why;
  return answer;
}

// Child: takes the guard, asks again, tells the parent and holds the guard
// until released. Exits with the first answer; prints the second.
int ChildHold(const std::string& name, const std::string& ready, const std::string& release) {
  const port::InstanceGuard first = TakeGuard(name);
  std::printf("again=%lu\n", Code(TakeGuard(name)));
  std::fflush(stdout);
  const HANDLE ready_event = OpenEventW(EVENT_MODIFY_STATE, FALSE, Wide(ready).c_str());
  const HANDLE release_event = OpenEventW(SYNCHRONIZE, FALSE, Wide(release).c_str());
  if (ready_event == nullptr || release_event == nullptr) return 9;
  SetEvent(ready_event);
  WaitForSingleObject(release_event, 60000);
  return static_cast<int>(Code(first));
}

int ChildProbe(const std::string& name) { return static_cast<int>(Code(TakeGuard(name))); }

void TestSingleInstance() {
  const std::string id = std::to_string(GetCurrentProcessId());
  const std::string name = "{PlinthPortTest-" + id + "}";
  const std::string ready = "PlinthPortTestReady-" + id;
  const std::string release = "PlinthPortTestRelease-" + id;
  const HANDLE ready_event = CreateEventW(nullptr, TRUE, FALSE, Wide(ready).c_str());
  const HANDLE release_event = CreateEventW(nullptr, TRUE, FALSE, Wide(release).c_str());
  const DWORD taken = Code(port::InstanceGuard::kTaken);
  const DWORD running = Code(port::InstanceGuard::kRunning);

  {
    Child first(SelfPath(), "hold " + name + " " + ready + " " + release);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ready_event, 60000),
              "the first process holds the mutex");
    EXPECT_EQ(running, RunChild("probe " + name), "a second process while the first runs");
    SetEvent(release_event);
    std::string output;
    EXPECT_EQ(taken, first.Wait(&output), "the first process");
    EXPECT_EQ(std::to_string(taken), ValueOf(output, "again"), "the first process asking again");
  }
  EXPECT_EQ(taken, RunChild("probe " + name), "a process after the first has ended");
  CloseHandle(ready_event);
  CloseHandle(release_event);

  // A mutex that cannot be created: the run goes on as a first instance,
  // told why.
  const std::string event_name = "PlinthPortTestEvent-" + id;
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, Wide(event_name).c_str());
  struct Case {
    const char* what;
    std::string name;
  } const cases[] = {
      {"a name that is no UTF-8", "Plinth\xff" + id},
      {"a name taken by an event", event_name},
  };
  for (const Case& c : cases) {
    std::string where, problem;
    EXPECT_EQ(Code(port::InstanceGuard::kNotTaken),
              Code(port::TakeInstanceGuard(c.name.c_str(), &where, &problem)), c.what);
    EXPECT_TRUE(!problem.empty(), c.what);
    EXPECT_EQ("mutex " + c.name, where, "the guard as the log names it");
  }
  CloseHandle(event);
}

// ---------------------------------------------------------------------------
// Privilege.

// Whether the debug privilege is enabled in this process's token.
bool DebugPrivilegeEnabled() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  PRIVILEGE_SET set = {};
  set.PrivilegeCount = 1;
  set.Control = PRIVILEGE_SET_ALL_NECESSARY;
  LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &set.Privilege[0].Luid);
  BOOL enabled = FALSE;
  const BOOL ok = PrivilegeCheck(token, &set, &enabled);
  CloseHandle(token);
  return ok && enabled;
}

void TestDebugPrivilege() {
  const bool answer = port::EnableDebugPrivilege();
  std::printf("  EnableDebugPrivilege answered %s\n", Show(answer).c_str());
  EXPECT_EQ(DebugPrivilegeEnabled(), answer, "the answer tells whether the privilege is enabled");
  EXPECT_EQ(answer, port::EnableDebugPrivilege(), "asking again");
}

// ---------------------------------------------------------------------------
// fopen_s.

constexpr int kAnyError = -1;

void TestFopen() {
  const fs::path dir = g_scratch->path() / "files";
  fs::create_directories(dir);
  WriteWhole(dir / "data.bin", "abc\0def"s);
  struct Case {
    const char* what;
    fs::path path;
    const char* mode;
    int error;
  } const cases[] = {
      {"an existing file", dir / "data.bin", "rb", 0},
      {"a missing file", dir / "missing.bin", "rb", ENOENT},
      // Files are only read.
      {"a new file", dir / "new.bin", "wb", EINVAL},
      {"an update", dir / "data.bin", "r+b", EINVAL},
      {"a directory", dir, "rb", EACCES},
      {"the null device", "NUL", "rb", EINVAL},
      // EINVAL on Windows; under wine, without a console, the open fails.
      {"the console", "CON", "rb", kAnyError},
  };
  for (const Case& c : cases) {
    std::FILE* file = stdin;
    const std::string path = Utf8Of(c.path);
    const int error = port::fopen_s(&file, path.c_str(), c.mode);
    if (c.error == kAnyError) {
      EXPECT_TRUE(error != 0, c.what);
    } else {
      EXPECT_EQ(c.error, error, c.what);
    }
    if (c.error != 0) EXPECT_TRUE(file == nullptr, c.what);
    if (c.error == 0 && file != nullptr && file != stdin) std::fclose(file);
  }

  std::FILE* file = nullptr;
  EXPECT_EQ(0, port::fopen_s(&file, Utf8Of(dir / "data.bin").c_str(), "rb"), "read back");
  if (file != nullptr) {
    char buf[16];
    const std::size_t n = std::fread(buf, 1, sizeof buf, file);
    std::fclose(file);
    EXPECT_EQ("abc\0def"s, std::string(buf, n), "the bytes read");
  }
}

// ---------------------------------------------------------------------------
// Code pages.

constexpr unsigned kAnyCodePage = 0;

struct CodePageCase {
  unsigned code_page;  // kAnyCodePage: every code page
  const char* what;
  bool to_utf8;  // LocalToUtf8, else Utf8ToLocal
  std::string input;
  std::string expected;
};

const CodePageCase kCodePageCases[] = {
    {kAnyCodePage, "empty", true, "", ""},
    {kAnyCodePage, "empty", false, "", ""},
    {kAnyCodePage, "ASCII with a NUL byte", true, "ab\0c"s, "ab\0c"s},
    {kAnyCodePage, "ASCII with a NUL byte", false, "ab\0c"s, "ab\0c"s},
    {kAnyCodePage, "no UTF-8: unchanged", false, "a\xff", "a\xff"},
    {kAnyCodePage, "a cut UTF-8 sequence: unchanged", false, "a\xc3", "a\xc3"},
    {1252, "e acute", true, "caf\xe9", "caf\xc3\xa9"},
    {1252, "e acute", false, "caf\xc3\xa9", "caf\xe9"},
    {1252, "euro sign", false, "\xe2\x82\xac", "\x80"},
    {1252, "euro sign", true, "\x80", "\xe2\x82\xac"},
    {1252, "a CJK character: unchanged", false, "a\xe5\x88\x9d", "a\xe5\x88\x9d"},
    // No best fit: A with macron must not become a plain A.
    {1252, "A with macron: unchanged", false, "\xc4\x80.xml", "\xc4\x80.xml"},
    {936, "CJK characters", true, "\xb3\xf5\xca\xbc\xbb\xaf",
     "\xe5\x88\x9d\xe5\xa7\x8b\xe5\x8c\x96"},
    {936, "CJK characters", false, "\xe5\x88\x9d\xe5\xa7\x8b\xe5\x8c\x96",
     "\xb3\xf5\xca\xbc\xbb\xaf"},
    {936, "e acute", false, "caf\xc3\xa9", "caf\xa8\xa6"},
    {936, "a Hangul syllable: unchanged", false, "a\xed\x95\x9c", "a\xed\x95\x9c"},
    {936, "A with macron: unchanged", false, "\xc4\x80.xml", "\xc4\x80.xml"},
    {936, "a cut double-byte character: unchanged", true, "a\xb3", "a\xb3"},
};

// Names that Windows takes for another file's, and files told apart by
// identity. Wine models neither 8.3 short names nor streams: the names are
// only checked as names.
void TestFileNames() {
  const struct {
    const char* name;
    const char* problem;
  } names[] = {
      {"public.db", ""},
      {"inventory.db", ""},
      {".hidden.db", ""},
      {"public.db.", "it ends with a dot or a blank (Windows drops them and names another file)"},
      {"public.db ", "it ends with a dot or a blank (Windows drops them and names another file)"},
      {"public.db. . ",
       "it ends with a dot or a blank (Windows drops them and names another file)"},
      {"public.db:stream", "it contains \":\" (a stream of a file, or a drive, to Windows)"},
      {"public.db::$DATA", "it contains \":\" (a stream of a file, or a drive, to Windows)"},
      {"C:public.db", "it contains \":\" (a stream of a file, or a drive, to Windows)"},
  };
  for (const auto& c : names) {
    EXPECT_EQ(std::string(c.problem), port::FileNameProblem(c.name), Show(std::string(c.name)));
  }

  const fs::path dir = g_scratch->path() / "same";
  fs::create_directories(dir);
  WriteWhole(dir / "public.db", "p");
  WriteWhole(dir / "other.db", "o");
  const std::string public_db = Utf8Of(dir / "public.db");
  EXPECT_TRUE(port::SameFile(public_db, public_db), "a file is itself");
  EXPECT_TRUE(port::SameFile(public_db, Utf8Of(dir / "PUBLIC.DB")), "letter case");
  EXPECT_TRUE(port::SameFile(public_db, Utf8Of(dir / "x" / ".." / "public.db")), "another path");
  EXPECT_TRUE(!port::SameFile(public_db, Utf8Of(dir / "other.db")), "two files");
  EXPECT_TRUE(!port::SameFile(public_db, Utf8Of(dir / "missing.db")), "a missing file");

  EXPECT_TRUE(!port::ExistsAsNonRegularFile(public_db), "a file");
  EXPECT_TRUE(!port::ExistsAsNonRegularFile(Utf8Of(dir / "missing.db")), "a missing file");
  EXPECT_TRUE(port::ExistsAsNonRegularFile(Utf8Of(dir)), "a directory");
  EXPECT_TRUE(port::ExistsAsNonRegularFile("NUL"), "the null device");
  EXPECT_EQ(std::string(), port::RestrictLogFileAccess(public_db), "nothing to do on Windows");
}

void TestCodePages() {
  const unsigned acp = GetACP();
  int run = 0;
  for (const CodePageCase& c : kCodePageCases) {
    if (c.code_page != kAnyCodePage && c.code_page != acp) continue;
    ++run;
    const std::string out = c.to_utf8 ? port::LocalToUtf8(c.input) : port::Utf8ToLocal(c.input);
    EXPECT_EQ(c.expected, out,
              std::string(c.to_utf8 ? "LocalToUtf8" : "Utf8ToLocal") + ", " + c.what);
  }
  std::printf("  code page %u: %d cases\n", acp, run);
}

// ---------------------------------------------------------------------------
// Executable directory.

int ChildExeDir() {
  const std::string dir = port::ExecutableDir();
  std::printf("acp=%u\ndir=%s\n", GetACP(), Hex(port::LocalToUtf8(dir)).c_str());
  if (!dir.empty()) {
    // The directory as the tool uses it: in UTF-8, back to the code page to
    // open a file.
    const std::string exe = Utf8Of(SelfPath().filename());
    std::FILE* file = nullptr;
    const int error =
        port::fopen_s(&file, port::Utf8ToLocal(port::LocalToUtf8(dir) + exe).c_str(), "rb");
    if (file != nullptr) std::fclose(file);
    std::printf("open=%d\n", error);
  }
  return 0;
}

void TestExecutableDir() {
  const std::string dir = port::ExecutableDir();
  EXPECT_TRUE(!dir.empty() && dir.back() == '\\', Show(dir));
  EXPECT_EQ(Utf8Of(SelfPath().parent_path()) + "\\", port::LocalToUtf8(dir), "this program");

  // Copies of this program in directories with other names. A name that the
  // code page cannot hold leaves the directory unknown (empty), never a
  // different directory.
  const unsigned acp = GetACP();
  struct Case {
    const char* name;  // UTF-8
    bool in_1252;
    bool in_936;
  } const cases[] = {
      {"plain", true, true},
      {"Pr\xc3\xbc"
       "fung \xc3\xa9t\xc3\xa9",
       true, true},
      {"\xe5\x88\x9d\xe5\xa7\x8b\xe5\x8c\x96", false, true},
      {"\xc4\x80"
       "b",
       false, false},  // best fit would make it "Ab"
  };
  for (const Case& c : cases) {
    if (acp != 1252 && acp != 936 && !c.in_1252) continue;
    const bool held = acp == 1252 ? c.in_1252 : acp == 936 ? c.in_936 : true;
    const fs::path copy_dir = g_scratch->path() / "exe" / PathOf(c.name);
    fs::create_directories(copy_dir);
    const fs::path copy = copy_dir / SelfPath().filename();
    fs::copy_file(SelfPath(), copy, fs::copy_options::overwrite_existing);

    std::string output;
    EXPECT_EQ(0UL, Child(copy, "exedir").Wait(&output), c.name);
    EXPECT_EQ(std::to_string(acp), ValueOf(output, "acp"), "the child's code page");
    const std::string expected = held ? Utf8Of(copy_dir) + "\\" : std::string();
    EXPECT_EQ(expected, Unhex(ValueOf(output, "dir")), std::string("directory ") + c.name);
    if (held) EXPECT_EQ("0"s, ValueOf(output, "open"), std::string("open the copy in ") + c.name);
  }
}

// ---------------------------------------------------------------------------
// Crash dumps. Every crash happens in a child.

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kSoftwareException = 0xE0504C54;

struct CrashKind {
  const char* name;
  DWORD code;
  void (*crash)();
};

const CrashKind kCrashKinds[] = {
    {"access", kAccessViolation, [] { *static_cast<volatile int*>(nullptr) = 1; }},
    {"raise", kSoftwareException,
     [] { RaiseException(kSoftwareException, EXCEPTION_NONCONTINUABLE, 0, nullptr); }},
};

// Text that stands for a key held in memory at the crash; made at run time,
// so that it is in no file of the program.
std::string Secret(char kind) {
  std::string secret(48, kind);
  for (std::size_t i = 1; i < secret.size(); ++i) secret[i] = static_cast<char>('a' + i * 7 % 26);
  return secret;
}

// Child: installs the crash handler with the dump directory from the
// environment (PLINTH_TEST_DUMP_DIR, none when unset), the limit and the full
// flag, names its thread and crashes.
int ChildCrash(const std::string& kind, int limit, bool full) {
  // Wine's dbghelp reads the debug information of every module while it
  // writes a dump (some 20 s) unless symbol loads are deferred. The dump's
  // content does not depend on it.
  SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS);
  port::InstallCrashHandler();
  port::SetCrashReportFull(full);
  port::SetCrashReportLimit(limit);
  wchar_t dir[32768];
  const DWORD n = GetEnvironmentVariableW(L"PLINTH_TEST_DUMP_DIR", dir, 32768);
  if (n > 0 && n < 32768) port::SetCrashReportDir(Utf8(std::wstring(dir, n)));
  // Secrets on the heap and on the stack of the crashing thread.
  const std::string heap_secret = Secret('H');
  volatile char stack_secret[64] = {};
  const std::string stack_text = Secret('S');
  for (std::size_t i = 0; i < stack_text.size(); ++i) stack_secret[i] = stack_text[i];
  std::printf("thread=%lu\nheap=%p\n", GetCurrentThreadId(),
              static_cast<const void*>(heap_secret.data()));
  std::fflush(stdout);
  for (const CrashKind& k : kCrashKinds) {
    if (kind == k.name) k.crash();
  }
  return stack_secret[0] == 'S' ? 2 : 3;  // no such kind, or it did not crash
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UtcStamp() {
  SYSTEMTIME t;
  GetSystemTime(&t);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond);
  return stamp;
}

std::string ProgramName() { return Utf8Of(SelfPath().stem()); }

// The time stamp of a dump named "<program>_<yyyymmddHHMMSS>_<pid>.dmp", or
// empty when `name` is not the dump of process `pid`.
std::string StampOf(const std::string& name, DWORD pid) {
  const std::string prefix = ProgramName() + "_";
  const std::string suffix = "_" + std::to_string(pid) + ".dmp";
  if (name.size() != prefix.size() + 14 + suffix.size()) return std::string();
  if (name.compare(0, prefix.size(), prefix) != 0) return std::string();
  if (name.compare(prefix.size() + 14, suffix.size(), suffix) != 0) return std::string();
  const std::string stamp = name.substr(prefix.size(), 14);
  if (stamp.find_first_not_of("0123456789") != std::string::npos) return std::string();
  return stamp;
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(Utf8Of(entry.path().filename()));
  return names;
}

// What a minidump file holds, as far as the tests look.
struct DumpContent {
  bool valid = false;
  DWORD exception_code = 0;
  DWORD thread_id = 0;
  bool full_memory = false;
  bool heap_secret = false;
  bool stack_secret = false;
};

DumpContent ReadDump(const fs::path& path) {
  DumpContent content;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  void* base = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (base != nullptr) {
    content.valid = std::memcmp(base, "MDMP", 4) == 0;
    MINIDUMP_DIRECTORY* dir = nullptr;
    void* stream = nullptr;
    ULONG size = 0;
    if (MiniDumpReadDumpStream(base, ExceptionStream, &dir, &stream, &size) &&
        size >= sizeof(MINIDUMP_EXCEPTION_STREAM)) {
      const auto* exception = static_cast<const MINIDUMP_EXCEPTION_STREAM*>(stream);
      content.exception_code = exception->ExceptionRecord.ExceptionCode;
      content.thread_id = exception->ThreadId;
    }
    content.full_memory = MiniDumpReadDumpStream(base, Memory64ListStream, &dir, &stream, &size);
    LARGE_INTEGER file_size;
    GetFileSizeEx(file, &file_size);
    const std::string_view bytes(static_cast<const char*>(base),
                                 static_cast<std::size_t>(file_size.QuadPart));
    content.heap_secret = bytes.find(Secret('H')) != std::string_view::npos;
    content.stack_secret = bytes.find(Secret('S')) != std::string_view::npos;
    UnmapViewOfFile(base);
  }
  if (mapping != nullptr) CloseHandle(mapping);
  CloseHandle(file);
  return content;
}

// Crashes a child of kind `kind` with the dump directory `dir` (none when
// empty). Returns the child's exit code; fills its pid, its crashing thread
// and its output.
DWORD Crash(const CrashKind& kind, const fs::path& dir, int limit, bool full, DWORD* pid,
            DWORD* thread, std::string* output) {
  SetEnvironmentVariableW(L"PLINTH_TEST_DUMP_DIR", dir.empty() ? nullptr : dir.c_str());
  Child child(SelfPath(),
              "crash "s + kind.name + " " + std::to_string(limit) + (full ? " 1" : " 0"));
  SetEnvironmentVariableW(L"PLINTH_TEST_DUMP_DIR", nullptr);
  *pid = child.pid();
  const DWORD code = child.Wait(output);
  *thread = static_cast<DWORD>(std::strtoul(ValueOf(*output, "thread").c_str(), nullptr, 10));
  return code;
}

// A crash writes one minidump of the crash into the dump directory and then
// keeps at most the limit of this program's dumps there, removing the oldest
// first; other files, other programs' dumps among them, stay. (Each dump takes
// wine some ten seconds to write: two cases cover what differs.)
void TestCrashWritesADumpAndRotates() {
  // Besides the new dump, this program's own older dumps, oldest first:
  // own[1], own[0], own[2]. The other files are older still and never
  // removed, even those whose names come close to the pattern.
  const std::string program = ProgramName();
  const std::string own[] = {program + "_20200101000000_11.dmp", program + "_20190101000000_12.dmp",
                             program + "_20210101000000_4294967295.dmp"};
  const int own_age[] = {2000, 1000, 3000};  // seconds after the other files
  const std::string foreign[] = {
      "OtherTool_20240101_1.dmp",
      "customer-memory.dmp",
      "OtherTool_20200101000000_11.dmp",
      program + "_notes.dmp",
      program + "_2020010100000_11.dmp",    // 13 digits
      program + "_202001010000000_11.dmp",  // 15 digits
      program + "_20200101000000_.dmp",     // no pid
      program + "_20200101000000_11.dmp.txt",
      program + "x_20200101000000_11.dmp",
      "notes.txt",
  };
  // A directory named like a dump is no dump.
  const std::string subdir = program + "_20000101000000_1.dmp";

  struct Case {
    const CrashKind& kind;
    const char* dir;  // UTF-8
    bool full;
    int limit;
    std::set<std::string> kept;  // of the own older dumps
  } const cases[] = {
      {kCrashKinds[0], "dumps \xc3\xa9 \xe5\x88\x9d", true, 2, {own[2]}},
      {kCrashKinds[1], "dumps-unlimited", false, 0, {own[0], own[1], own[2]}},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.kind.name) + ", limit " + std::to_string(c.limit) + ": ";
    const fs::path dir = g_scratch->path() / PathOf(c.dir);
    fs::create_directories(dir / PathOf(subdir));
    SetAge(dir / PathOf(subdir), 0);
    std::set<std::string> expected = c.kept;
    expected.insert(subdir);
    for (const std::string& name : foreign) {
      WriteWhole(dir / PathOf(name), "not ours");
      SetAge(dir / PathOf(name), 0);
      expected.insert(name);
    }
    for (int i = 0; i < 3; ++i) {
      WriteWhole(dir / PathOf(own[i]), "old dump");
      SetAge(dir / PathOf(own[i]), own_age[i]);
    }

    const std::string before = UtcStamp();
    DWORD pid = 0, thread = 0;
    std::string output;
    EXPECT_EQ(c.kind.code, Crash(c.kind, dir, c.limit, c.full, &pid, &thread, &output),
              what + "exit status; output " + Show(output));
    const std::string after = UtcStamp();

    std::set<std::string> names = Names(dir);
    std::string fresh;
    for (const std::string& name : names) {
      if (!StampOf(name, pid).empty()) fresh = name;
    }
    EXPECT_TRUE(!fresh.empty(), what + "a new dump among " + Show(names));
    names.erase(fresh);
    EXPECT_EQ(expected, names, what + "the files besides the new dump");
    if (fresh.empty()) continue;

    const std::string stamp = StampOf(fresh, pid);
    EXPECT_TRUE(before <= stamp && stamp <= after,
                what + fresh + " between " + before + " and " + after);
    const DumpContent dump = ReadDump(dir / PathOf(fresh));
    EXPECT_TRUE(dump.valid, what + "a minidump");
    EXPECT_EQ(c.kind.code, dump.exception_code, what + "exception in the dump");
    EXPECT_EQ(thread, dump.thread_id, what + "the crashing thread");
    EXPECT_EQ(false, dump.full_memory, what + "the whole memory");
    EXPECT_EQ(false, dump.heap_secret, what + "a secret on the heap");
    // Windows filters the stacks down to what a stack walk needs; wine's
    // dbghelp writes them whole.
    if (!UnderWine()) EXPECT_EQ(false, dump.stack_secret, what + "a secret on the stack");
  }
}

void TestCrashWithoutDirectory() {
  DWORD pid = 0, thread = 0;
  std::string output;
  EXPECT_EQ(kAccessViolation, Crash(kCrashKinds[0], fs::path(), 3, true, &pid, &thread, &output),
            "exit status");
  const std::string line = ProgramName() + ": unhandled exception 0xc0000005 at ";
  EXPECT_TRUE(output.find(line) != std::string::npos, Show(output));
}

// ---------------------------------------------------------------------------

struct Test {
  const char* name;
  void (*run)();
};

const Test kTests[] = {
    {"SeparatorAndSuffix", TestSeparatorAndSuffix},
    {"SingleInstance", TestSingleInstance},
    {"DebugPrivilege", TestDebugPrivilege},
    {"Fopen", TestFopen},
    {"FileNames", TestFileNames},
    {"CodePages", TestCodePages},
    {"ExecutableDir", TestExecutableDir},
    {"CrashWritesADumpAndRotates", TestCrashWritesADumpAndRotates},
    {"CrashWithoutDirectory", TestCrashWithoutDirectory},
};

// Runs the tests named in `names`, every test when it is empty. Returns the
// exit code.
int RunTests(const std::vector<std::string>& names) {
  ScratchDir scratch;
  g_scratch = &scratch;
  int run = 0;
  int failed = 0;
  for (const Test& test : kTests) {
    if (!names.empty() && std::find(names.begin(), names.end(), test.name) == names.end()) continue;
    ++run;
    std::printf("[ RUN  ] %s\n", test.name);
    std::fflush(stdout);
    const int failures = g_failures;
    try {
      test.run();
    } catch (const std::exception& e) {
      ++g_failures;
      std::printf("  FAILED: exception %s\n", e.what());
    }
    const bool passed = g_failures == failures;
    if (!passed) ++failed;
    std::printf("[ %s ] %s\n", passed ? " OK " : "FAIL", test.name);
    std::fflush(stdout);
  }
  g_scratch = nullptr;
  std::printf("%d tests, %d checks: %d tests failed\n", run, g_checks, failed);
  return failed == 0 ? 0 : 1;
}

bool IsTestName(const std::string& name) {
  for (const Test& test : kTests) {
    if (name == test.name) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
  if (arg(0) == "hold") return ChildHold(arg(1), arg(2), arg(3));
  if (arg(0) == "probe") return ChildProbe(arg(1));
  if (arg(0) == "exedir") return ChildExeDir();
  if (arg(0) == "crash") return ChildCrash(arg(1), std::atoi(arg(2).c_str()), arg(3) == "1");
  std::vector<std::string> names = args;
  if (arg(0) == "--acp" && args.size() >= 2) {
    if (std::to_string(GetACP()) != arg(1)) {
      std::printf("the ANSI code page is %u, not %s\n", GetACP(), arg(1).c_str());
      return 1;
    }
    names.erase(names.begin(), names.begin() + 2);
  }
  for (const std::string& name : names) {
    if (!IsTestName(name)) {
      std::printf("usage: plinth_windows_port_tests [--acp <code page>] [<test>...]\n");
      return 2;
    }
  }
  return RunTests(names);
}
