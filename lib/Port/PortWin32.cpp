// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Windows implementation of the platform services.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "Port.h"

namespace port {

const char kPathSeparator[] = "\\";
const char kSharedLibrarySuffix[] = ".dll";

std::string NativePath(const std::string& path) {
  std::string native = path;
  for (char& c : native) {
    if (c == '/') c = '\\';
  }
  return native;
}

namespace {

// Converts `text` from code page `cp` into `*wide`. Returns false when `text`
// is not valid in `cp`.
bool ToWide(const std::string& text, UINT cp, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), size, &(*wide)[0], n) == n;
}

// Converts `wide` into code page `cp` in `*text`. Returns false when `wide`
// holds an invalid sequence or a character that `cp` lacks.
bool FromWide(const std::wstring& wide, UINT cp, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  if (wide.size() > static_cast<std::size_t>(INT_MAX)) return false;
  const int size = static_cast<int>(wide.size());
  if (cp == CP_ACP) cp = GetACP();
  // UTF-8 reports invalid input through its flag; other code pages report a
  // missing character through the default-character flag, which UTF-8 refuses.
  // No best fit: a lacking character must not turn into a look-alike ("A" for
  // "A with macron"), which would name a different file.
  const bool utf8 = cp == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used = utf8 ? nullptr : &used_default;
  const int n = WideCharToMultiByte(cp, flags, wide.data(), size, nullptr, 0, nullptr, used);
  if (n <= 0 || used_default) return false;
  text->resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(cp, flags, wide.data(), size, &(*text)[0], n, nullptr, used) == n &&
         !used_default;
}

// `text` converted from code page `from` to `to`, or `text` unchanged when it
// cannot be converted.
std::string Convert(const std::string& text, UINT from, UINT to) {
  std::wstring wide;
  std::string out;
  if (!ToWide(text, from, &wide) || !FromWide(wide, to, &out)) return text;
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Single instance, privilege, files.

InstanceGuard TakeInstanceGuard(const char* name, std::string* where, std::string* problem) {
  *where = std::string("mutex ") + name;
  problem->clear();
  // Guards this process holds: asking again must not see our own mutex as
  // another instance.
  static std::vector<std::string> held;
  if (std::find(held.begin(), held.end(), name) != held.end()) return InstanceGuard::kTaken;
  std::wstring wide;
  if (!ToWide(name, CP_UTF8, &wide)) {
    *problem = "the name is not UTF-8";
    return InstanceGuard::kNotTaken;
  }
  // The handle is never closed: it marks this instance until the process ends.
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.c_str());
  const DWORD error = GetLastError();
  if (mutex == nullptr) {
    *problem = "CreateMutexW: error " + std::to_string(error);
    return InstanceGuard::kNotTaken;
  }
  if (error == ERROR_ALREADY_EXISTS) return InstanceGuard::kRunning;
  held.push_back(name);
  return InstanceGuard::kTaken;
}

void DisableCoreDumps() {}

void IgnoreBrokenPipes() {}

bool EnableDebugPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid);
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  // ERROR_NOT_ALL_ASSIGNED, with a successful call, counts as failure too.
  const bool enabled = GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  return enabled;
}

int fopen_s(std::FILE** file, const char* path, const char* mode) {
  // The C runtime's fopen_s would call the invalid-parameter handler.
  if (file == nullptr) return EINVAL;
  *file = nullptr;
  if (path == nullptr || mode == nullptr) return EINVAL;
  // The tool only ever reads files.
  if (std::strcmp(mode, "rb") != 0 && std::strcmp(mode, "r") != 0) return EINVAL;
  const errno_t err = ::fopen_s(file, path, mode);
  if (err != 0) {
    *file = nullptr;
    return err;
  }
  // Only files on disk are read: a device ("CON", "NUL") or a pipe could
  // block or feed endless input.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(*file)));
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    std::fclose(*file);
    *file = nullptr;
    return EINVAL;
  }
  return 0;
}

namespace {

// Opens `path` (in the local code page, converted to UTF-16) for examining it
// only: no access to its data, every sharing mode, a directory too. Never
// blocks; INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenForExamining(const std::string& path) {
  std::wstring wide;
  if (!ToWide(path, CP_ACP, &wide)) return INVALID_HANDLE_VALUE;
  return CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool ExistsAsNonRegularFile(const std::string& path) {
  const HANDLE handle = OpenForExamining(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileType(handle) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(handle, &info) &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(handle);
  return !regular;
}

std::string RestrictLogFileAccess(const std::string&) { return std::string(); }

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    const HANDLE handle = OpenForExamining(*paths[i]);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(handle, &info[i]) != 0;
    CloseHandle(handle);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::string FileNameProblem(const std::string& name) {
  if (name.find(':') != std::string::npos) {
    return "it contains \":\" (a stream of a file, or a drive, to Windows)";
  }
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
    return "it ends with a dot or a blank (Windows drops them and names another file)";
  }
  return std::string();
}

std::string ExecutablePath() {
  // Read as UTF-16 and converted here: the ANSI function would give a
  // character that the code page lacks as "?" or as a look-alike, naming a
  // different directory.
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) {
      std::string path;
      if (!FromWide(std::wstring(buf.data(), n), CP_ACP, &path)) return std::string();
      return path;
    }
    if (buf.size() >= 65536) return std::string();
    buf.resize(buf.size() * 2);
  }
}

std::string ExecutableDir() {
  const std::string path = ExecutablePath();
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string LocalToUtf8(const std::string& text) { return Convert(text, CP_ACP, CP_UTF8); }

std::string Utf8ToLocal(const std::string& text) { return Convert(text, CP_UTF8, CP_ACP); }

}  // namespace port
