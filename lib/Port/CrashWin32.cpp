// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Windows crash reports: an unhandled exception writes a minidump.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// dbghelp.h needs the declarations of windows.h first.
#include <dbghelp.h>

#include <climits>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "Crash.h"

namespace port {

// The dump is written by a worker thread started at install time: it has a
// stack of its own (the faulting thread may have overflowed its stack) and
// needs no thread creation while the process is broken.

namespace {

constexpr std::size_t kMaxPath = 32768;
constexpr wchar_t kReportSuffix[] = L".dmp";

struct CrashConfig {
  std::wstring dir;      // ends with "\"; empty: no dump file is written
  std::wstring program;  // executable name without ".exe"
  bool full = false;
  int limit = 0;  // <= 0: keep every dump
};

CrashConfig& Crash() {
  static CrashConfig config;
  return config;
}

struct DumpWorker {
  HANDLE start = nullptr;  // set by the filter: a dump is wanted
  HANDLE done = nullptr;   // set by the worker: the dump is written
  EXCEPTION_POINTERS* exception = nullptr;
  DWORD thread_id = 0;
};

DumpWorker g_worker;

// The path of the running executable, or empty when it cannot be read.
std::wstring ExecutablePathW() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size()) return std::wstring(buf.data(), n);
    if (buf.size() >= 65536) return std::wstring();
    buf.resize(buf.size() * 2);
  }
}
// `text` (UTF-8) as UTF-16; empty when it is not valid UTF-8.
std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], n) != n) {
    return std::wstring();
  }
  return wide;
}

void InitProgramName() {
  CrashConfig& c = Crash();
  if (!c.program.empty()) return;
  std::wstring name = ExecutablePathW();
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const std::size_t dot = name.size() >= 4 ? name.size() - 4 : std::wstring::npos;
  if (dot != std::wstring::npos && lstrcmpiW(name.c_str() + dot, L".exe") == 0) name.resize(dot);
  c.program = name.empty() ? L"crash" : name;
}

// True when `a` and `b` (`size` characters each) are equal without regard to
// case, as Windows compares file names.
bool SameName(const wchar_t* a, const wchar_t* b, std::size_t size) {
  return CompareStringOrdinal(a, static_cast<int>(size), b, static_cast<int>(size), TRUE) ==
         CSTR_EQUAL;
}

bool AllDigits(const wchar_t* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
  }
  return true;
}

// True when `name` has the form of this program's dumps,
// "<program>_<yyyymmddHHMMSS>_<pid>.dmp" (see ReportPath). Only these are
// counted and removed; other programs' dumps and other files stay.
bool IsReportName(const wchar_t* name) {
  constexpr std::size_t kStampSize = 14;
  constexpr std::size_t kMaxPidSize = 10;
  constexpr std::size_t kSuffixSize = sizeof kReportSuffix / sizeof kReportSuffix[0] - 1;
  const std::wstring& program = Crash().program;
  const std::size_t len = std::wcslen(name);
  const std::size_t fixed = program.size() + 1 + kStampSize + 1 + kSuffixSize;
  if (len <= fixed || len > fixed + kMaxPidSize) return false;
  const wchar_t* stamp = name + program.size() + 1;
  const wchar_t* pid = stamp + kStampSize + 1;
  const std::size_t pid_size = len - fixed;
  return SameName(name, program.c_str(), program.size()) && stamp[-1] == L'_' &&
         AllDigits(stamp, kStampSize) && pid[-1] == L'_' && AllDigits(pid, pid_size) &&
         SameName(pid + pid_size, kReportSuffix, kSuffixSize);
}

// The dump type. Stack memory is cut down to what a stack walk needs and no
// other memory is written: the process holds the database key in memory, and
// a dump file must not. `full` adds the handles, the threads' details and the
// unloaded modules.
MINIDUMP_TYPE DumpType(bool full) {
  int type = MiniDumpFilterMemory;
  if (full) type |= MiniDumpWithHandleData | MiniDumpWithThreadInfo | MiniDumpWithUnloadedModules;
  return static_cast<MINIDUMP_TYPE>(type);
}

// Fills `path` with "<dir><program>_<yyyymmddHHMMSS>_<pid>.dmp" (UTC).
// Returns false when it does not fit.
bool ReportPath(wchar_t* path, std::size_t size) {
  const CrashConfig& c = Crash();
  SYSTEMTIME t;
  GetSystemTime(&t);
  const int n = std::swprintf(path, size, L"%ls%ls_%04u%02u%02u%02u%02u%02u_%lu%ls", c.dir.c_str(),
                              c.program.c_str(), static_cast<unsigned>(t.wYear),
                              static_cast<unsigned>(t.wMonth), static_cast<unsigned>(t.wDay),
                              static_cast<unsigned>(t.wHour), static_cast<unsigned>(t.wMinute),
                              static_cast<unsigned>(t.wSecond),
                              static_cast<unsigned long>(GetCurrentProcessId()), kReportSuffix);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

// Writes the dump of `exception`, raised on thread `thread_id`. Without a
// report directory one line goes to stderr instead.
void WriteDumpFile(EXCEPTION_POINTERS* exception, DWORD thread_id) {
  const CrashConfig& c = Crash();
  static wchar_t path[kMaxPath];
  if (c.dir.empty() || !ReportPath(path, kMaxPath)) {
    const EXCEPTION_RECORD* record = exception != nullptr ? exception->ExceptionRecord : nullptr;
    std::fprintf(stderr, "%ls: unhandled exception 0x%08lx at %p\n", c.program.c_str(),
                 record != nullptr ? static_cast<unsigned long>(record->ExceptionCode) : 0UL,
                 record != nullptr ? record->ExceptionAddress : nullptr);
    std::fflush(stderr);
    return;
  }
  const HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  MINIDUMP_EXCEPTION_INFORMATION info;
  info.ThreadId = thread_id;
  info.ExceptionPointers = exception;
  info.ClientPointers = FALSE;
  MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, DumpType(c.full),
                    exception != nullptr ? &info : nullptr, nullptr, nullptr);
  CloseHandle(file);
}

// Finds the oldest dump of the report directory into `*oldest`. Returns the
// number of dumps there.
int FindOldestReport(const wchar_t* pattern, WIN32_FIND_DATAW* oldest) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (!IsReportName(data.cFileName)) continue;
    if (count++ == 0 || CompareFileTime(&data.ftLastWriteTime, &oldest->ftLastWriteTime) < 0) {
      *oldest = data;
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

// Removes the oldest dumps until at most the limit remain.
void PruneReports() {
  const CrashConfig& c = Crash();
  if (c.limit <= 0 || c.dir.empty()) return;
  static wchar_t pattern[kMaxPath];
  static wchar_t path[kMaxPath];
  const int n = std::swprintf(pattern, kMaxPath, L"%ls*%ls", c.dir.c_str(), kReportSuffix);
  if (n <= 0 || static_cast<std::size_t>(n) >= kMaxPath) return;
  WIN32_FIND_DATAW oldest;
  while (FindOldestReport(pattern, &oldest) > c.limit) {
    const int m = std::swprintf(path, kMaxPath, L"%ls%ls", c.dir.c_str(), oldest.cFileName);
    if (m <= 0 || static_cast<std::size_t>(m) >= kMaxPath || !DeleteFileW(path)) return;
  }
}

void WriteReport(EXCEPTION_POINTERS* exception, DWORD thread_id) {
  WriteDumpFile(exception, thread_id);
  PruneReports();
}

DWORD WINAPI DumpWorkerMain(LPVOID) {
  WaitForSingleObject(g_worker.start, INFINITE);
  WriteReport(g_worker.exception, g_worker.thread_id);
  SetEvent(g_worker.done);
  return 0;
}

// Starts the dump worker. Returns false when it cannot run.
bool StartDumpWorker() {
  g_worker.start = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g_worker.done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_worker.start == nullptr || g_worker.done == nullptr) return false;
  const HANDLE thread = CreateThread(nullptr, 0, DumpWorkerMain, nullptr, 0, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  return true;
}

bool g_worker_running = false;

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  // One report per process, from the first thread that gets here.
  static LONG volatile busy = 0;
  if (InterlockedExchange(&busy, 1) != 0) return EXCEPTION_CONTINUE_SEARCH;
  if (g_worker_running) {
    g_worker.exception = exception;
    g_worker.thread_id = GetCurrentThreadId();
    SetEvent(g_worker.start);
    WaitForSingleObject(g_worker.done, INFINITE);
  } else {
    WriteReport(exception, GetCurrentThreadId());
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallCrashHandler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  InitProgramName();
  g_worker_running = StartDumpWorker();
  SetUnhandledExceptionFilter(OnUnhandledException);
}

void SetCrashReportDir(const std::string& dir) {
  InitProgramName();
  std::wstring wide = Utf8ToWide(dir);
  if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/') wide += L'\\';
  Crash().dir = wide;
}

void SetCrashReportLimit(int limit) { Crash().limit = limit; }

void SetCrashReportFull(bool full) { Crash().full = full; }

}  // namespace port
