// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Plinth: creates and initialises the SQLite databases of one plug-in.
// Usage: Plinth <plug-in name>. Exit code 0 on success, 1 on failure.
// Plinth --check <plug-in name> checks the plug-in without building it.
// Plinth --help and Plinth --version print and exit (CommandLine.h).
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "Business/NameCheck.h"
#include "CommandLine.h"
#include "Common/Log.h"
#include "Config/ProductLayout.h"
#include "ExecuteInit.h"
#include "QuillBase.h"

namespace {

using plinth::LogLevel;
using plinth::Request;
using Quill::Base::ProcessUtil::InstanceGuard;
namespace DumpUtil = Quill::Base::DumpUtil;
namespace FileUtil = Quill::Base::FileUtil;
namespace ProcessUtil = Quill::Base::ProcessUtil;

constexpr char kInstanceName[] = "{A6953687-CDEA-5AB4-8767-5Yid5aeL5YyW5bel5YW3}";

// The word that begins the lines of a run ("RUN Plinth START.") or a check.
const char* Verb(Request request) { return request == Request::kCheck ? "CHECK" : "RUN"; }

// Before anything is read: the key never reaches a core file, and a standard
// error whose reader is gone cannot end the run.
void ProtectProcess() {
  ProcessUtil::DisableCoreDumps();
  ProcessUtil::IgnoreBrokenPipes();
}

// Takes the single-instance guard of a run, logging for `function` (on
// standard error: logging is not set up yet). Returns the exit code when this
// process is not to run: 0 when another instance runs, 1 when what stands in
// the guard's place is not to be trusted. None when the run goes on, also
// when the guard cannot be had (a line says why).
std::optional<int> TakeInstanceGuard(const std::string& function) {
  std::string guard, problem;
  switch (ProcessUtil::TakeInstanceGuard(kInstanceName, &guard, &problem)) {
    case InstanceGuard::kTaken:
      return std::nullopt;
    case InstanceGuard::kRunning:
      PLINTH_LOG_AS(function, LogLevel::kWarn, "[%s]Already exists Plinth.exe. exit![%s(%d)]");
      return 0;
    case InstanceGuard::kNotTaken:
      PLINTH_LOG_AS(function, LogLevel::kWarn,
                    "[%s]%s cannot be taken: %s. go on as the first instance.[%s(%d)]",
                    guard.c_str(), problem.c_str());
      return std::nullopt;
    case InstanceGuard::kUntrusted:
      break;
  }
  PLINTH_LOG_AS(function, LogLevel::kError, "[%s]%s is not trusted: %s. exit![%s(%d)]",
                guard.c_str(), problem.c_str());
  return 1;
}

bool EnableDebugPrivilege() { return ProcessUtil::EnableDebugPrivilege(); }

// The start-up routine. False, before any file is read, when the executable's
// directory cannot be determined: every file of the tool is found from it.
bool InitEnvironment() {
  EnableDebugPrivilege();
  DumpUtil::RunCrashHandler();
  DumpUtil::SetDumpParam(true);
  DumpUtil::SetDumpNumber(true, 3);
  const std::string exe_dir = Quill::Base::StringUtil::Local2UTF8(FileUtil::GetCurExeDir());
  if (exe_dir.empty()) return false;
  Quill::Base::CSingleton<Quill::Base::details::CLog>::Instance()->InitLog(
      plinth::LogConfigurationPath(exe_dir));
  // A directory fixed at build time, or beside the executable.
  const std::string fixed_dump_dir = PLINTH_DUMP_DIR;
  DumpUtil::SetDumpPath(fixed_dump_dir.empty() ? exe_dir.c_str() : fixed_dump_dir.c_str());
  FileUtil::InitCurExeDirUtf8(exe_dir);
  return true;
}

// The plug-in name of a run or a check, logged for `function` with its
// "Init." or "Check." line when one was given. Nothing, logged, when none was
// given, or an empty or refused one: the name becomes a directory name below
// the system directory.
std::optional<std::string> AcceptedPluginName(const std::string& function, Request request,
                                              const std::optional<std::string>& plugin) {
  if (plugin && request == Request::kCheck) {
    PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]%s Check.[%s(%d)]", plugin->c_str());
  } else if (plugin) {
    PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]%s Init.[%s(%d)]", plugin->c_str());
  }
  std::string name = plugin.value_or(std::string());
  const std::string problem = plinth::PluginNameProblem(name);
  if (!problem.empty()) {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]plugin name \"%s\" refused: %s.[%s(%d)]",
                  name.c_str(), problem.c_str());
  }
  if (!plugin || name.empty() || !problem.empty()) return std::nullopt;
  return name;
}

// The sequence of a run (it builds) or of a check; fills `err_code` as the
// sequence does.
bool ExecuteSequence(Request request, std::int32_t& err_code, const std::string& plugin) {
  return request == Request::kCheck ? plinth::CExecuteInit::CheckInitDB(err_code, plugin)
                                    : plinth::CExecuteInit::ExecInitDB(err_code, plugin);
}

// Ends a run or a check that did its work, as `function`: 0 and the success
// line, unless a log line was lost on the way (a closed standard error that
// the lines go to), or that line is: a run whose log is lost cannot claim
// success.
int EndSuccessfully(const std::string& function, Request request) {
  if (!Quill::Base::details::LogLinesLost()) {
    PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]%s Plinth SUCCESS.[%s(%d)]", Verb(request));
    if (!Quill::Base::details::LogLinesLost()) return 0;
  }
  PLINTH_LOG_AS(function, LogLevel::kError, "[%s]%s Plinth FAILED. log lines were lost![%s(%d)]",
                Verb(request));
  return 1;
}

// Ends a run or a check of `plugin` whose sequence failed with `err_code` (5
// when the sequence set none), as `function`: the verdict line, and 1.
int EndInFailure(const std::string& function, Request request, const std::string& plugin,
                 std::int32_t err_code) {
  if (err_code == 0) err_code = 5;
  if (request == Request::kCheck) {
    PLINTH_LOG_AS(function, LogLevel::kError,
                  "[%s]CHECK Plinth FAILED. %s plugin err_code:%d.[%s(%d)]", plugin.c_str(),
                  static_cast<int>(err_code));
  } else {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]%s plugin Init FAILED.err_code:%d.[%s(%d)]",
                  plugin.c_str(), static_cast<int>(err_code));
  }
  return 1;
}

// A run (it builds the databases of `plugin`) or a check (it reads and decides
// all a run would, writing nothing, and so takes no single-instance guard),
// logged as `function`. Returns the exit code.
int Serve(Request request, const std::string& function, const std::optional<std::string>& plugin) {
  if (request == Request::kRun) {
    const std::optional<int> not_to_run = TakeInstanceGuard(function);
    if (not_to_run) return *not_to_run;
  }
  if (!InitEnvironment()) {
    PLINTH_LOG_AS(function, LogLevel::kError,
                  "[%s]%s Plinth FAILED. the executable's directory cannot be determined![%s(%d)]",
                  Verb(request));
    return 1;
  }
  PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]%s Plinth START.[%s(%d)]", Verb(request));
  const std::optional<std::string> accepted = AcceptedPluginName(function, request, plugin);
  if (!accepted) {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]%s Plinth FAILED. input param error![%s(%d)]",
                  Verb(request));
    return 1;
  }
  std::int32_t err_code = 0;
  return ExecuteSequence(request, err_code, *accepted)
             ? EndSuccessfully(function, request)
             : EndInFailure(function, request, *accepted, err_code);
}

// Ends a run or check that an exception (memory exhausted, ...) reached
// `signature` with: one failure line naming it, or, when even that line
// cannot be written, a fixed line on standard error. Returns the exit code 1.
int ExitOnException(Request request, const char* signature, const char* what) noexcept {
  try {
    PLINTH_LOG_AS(plinth::QualifiedFunctionName(signature), LogLevel::kError,
                  "[%s]%s Plinth FAILED. uncaught exception: %s![%s(%d)]", Verb(request), what);
  } catch (const std::exception& e) {
    std::fprintf(stderr,
                 "%s Plinth FAILED. an exception ended the run: %s; its log line failed too: %s\n",
                 Verb(request), what, e.what());
  } catch (...) {
    std::fprintf(stderr,
                 "%s Plinth FAILED. an exception ended the run: %s; its log line failed too.\n",
                 Verb(request), what);
  }
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  const Request request = plinth::ReadRequest(argc, argv);
  int exit_code = 1;
  try {
    // --help, --version and a usage error only print: no lock, no file, no
    // log line.
    if (request != Request::kRun && request != Request::kCheck) {
      return plinth::AnswerRequest(request, argv[0]);
    }
    ProtectProcess();
    exit_code = Serve(request, PLINTH_FUNCTION, plinth::PluginArgument(request, argc, argv));
  } catch (const std::exception& e) {
    exit_code = ExitOnException(request, PLINTH_SIGNATURE, e.what());
  } catch (...) {
    exit_code = ExitOnException(request, PLINTH_SIGNATURE, "(unknown type)");
  }
  // After the last line: a rolling log may have begun a new file on the way.
  Quill::Base::CSingleton<Quill::Base::details::CLog>::Instance()->RestrictLogFiles();
  return exit_code;
}
