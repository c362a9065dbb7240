// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Plinth: creates and initialises the SQLite databases of one plug-in.
// Usage: Plinth <plug-in name>. Exit code 0 on success, 1 on failure.
// Plinth --help and Plinth --version print and exit (CommandLine.h).
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "CommandLine.h"
#include "Common/Log.h"
#include "Common/NameCheck.h"
#include "ExecuteInit.h"
#include "External/QuillBase.h"
#include "Port/Port.h"

namespace {

constexpr char kInstanceName[] = "{A6953687-CDEA-5AB4-8767-5Yid5aeL5YyW5bel5YW3}";

// Takes the single-instance guard for the run of `function`. A guard that
// cannot be had, or one not to be trusted, is reported in one line (on
// standard error, as logging is not set up yet).
port::InstanceGuard TakeInstanceGuard(const std::string& function) {
  std::string guard, problem;
  const port::InstanceGuard answer = port::TakeInstanceGuard(kInstanceName, &guard, &problem);
  if (answer == port::InstanceGuard::kNotTaken) {
    PLINTH_LOG_AS(function, 4, "[%s]%s cannot be taken: %s. go on as the first instance.[%s(%d)]",
                  guard.c_str(), problem.c_str());
  } else if (answer == port::InstanceGuard::kUntrusted) {
    PLINTH_LOG_AS(function, 5, "[%s]%s is not trusted: %s. exit![%s(%d)]", guard.c_str(),
                  problem.c_str());
  }
  return answer;
}

bool EnableDebugPrivilege() { return port::EnableDebugPrivilege(); }

// The start-up routine. False, before any file is read, when the executable's
// directory cannot be determined: every file of the tool is found from it.
bool InitEnvironment() {
  using namespace Quill::Base;
  EnableDebugPrivilege();
  DumpUtil::RunCrashHandler();
  DumpUtil::SetDumpParam(true);
  DumpUtil::SetDumpNumber(true, 3);
  const std::string exe_dir = StringUtil::Local2UTF8(FileUtil::GetCurExeDir());
  if (exe_dir.empty()) return false;
  CSingleton<details::CLog>::Instance()->InitLog(
      exe_dir + port::NativePath("META_INFO/plinth.log4cxx.properties"));
  // A directory fixed at build time, or beside the executable.
  const std::string fixed_dump_dir = PLINTH_DUMP_DIR;
  DumpUtil::SetDumpPath(fixed_dump_dir.empty() ? exe_dir.c_str() : fixed_dump_dir.c_str());
  FileUtil::InitCurExeDirUtf8(exe_dir);
  return true;
}

// Ends a run that did its work, as `function`: 0 and the success line, unless
// a log line was lost on the way (a closed standard error that the lines go
// to), or that line is: a run whose log is lost cannot claim success.
int EndSuccessfulRun(const std::string& function) {
  if (!Quill::Base::details::LogLinesLost()) {
    PLINTH_LOG_AS(function, 3, "[%s]RUN Plinth SUCCESS.[%s(%d)]");
    if (!Quill::Base::details::LogLinesLost()) return 0;
  }
  PLINTH_LOG_AS(function, 5, "[%s]RUN Plinth FAILED. log lines were lost![%s(%d)]");
  return 1;
}

// Ends a run that an exception (memory exhausted, ...) reached `signature` with:
// one failure line naming it, or, when even that line cannot be written, a
// fixed line on standard error. Returns the exit code 1.
int ExitOnException(const char* signature, const char* what) noexcept {
  try {
    PLINTH_LOG_AS(plinth::QualifiedFunctionName(signature), 5,
                  "[%s]RUN Plinth FAILED. uncaught exception: %s![%s(%d)]", what);
  } catch (const std::exception& e) {
    std::fprintf(stderr,
                 "RUN Plinth FAILED. an exception ended the run: %s; its log line failed too: %s\n",
                 what, e.what());
  } catch (...) {
    std::fprintf(stderr,
                 "RUN Plinth FAILED. an exception ended the run: %s; its log line failed too.\n",
                 what);
  }
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) try {
  // --help and --version only print: no lock, no file, no log line.
  const plinth::Request request = plinth::ReadRequest(argc, argv);
  if (request != plinth::Request::kRun) return plinth::AnswerRequest(request, argv[0]);
  // Before anything is read: the key never reaches a core file, and a
  // standard error whose reader is gone cannot end the run.
  port::DisableCoreDumps();
  port::IgnoreBrokenPipes();
  const port::InstanceGuard guard = TakeInstanceGuard(PLINTH_FUNCTION);
  if (guard == port::InstanceGuard::kRunning) {
    PLINTH_LOG(4, "[%s]Already exists Plinth.exe. exit![%s(%d)]");
    return 0;
  }
  if (guard == port::InstanceGuard::kUntrusted) return 1;
  std::int32_t err_code = 0;
  if (!InitEnvironment()) {
    PLINTH_LOG(5,
               "[%s]RUN Plinth FAILED. the executable's directory cannot be determined![%s(%d)]");
    return 1;
  }
  PLINTH_LOG(3, "[%s]RUN Plinth START.[%s(%d)]");

  std::string plugin_name;
  if (argc > 1) {
    plugin_name = argv[1];
    PLINTH_LOG(3, "[%s]%s Init.[%s(%d)]", plugin_name.c_str());
  }
  // The name becomes a directory name below the system directory.
  const std::string problem = plinth::PluginNameProblem(plugin_name);
  if (!problem.empty()) {
    PLINTH_LOG(5, "[%s]plugin name \"%s\" refused: %s.[%s(%d)]", plugin_name.c_str(),
               problem.c_str());
  }
  if (argc <= 1 || plugin_name.empty() || !problem.empty()) {
    PLINTH_LOG(5, "[%s]RUN Plinth FAILED. input param error![%s(%d)]");
    return 1;
  }

  if (plinth::CExecuteInit::ExecInitDB(err_code, plugin_name))
    return EndSuccessfulRun(PLINTH_FUNCTION);
  if (err_code == 0) err_code = 5;
  PLINTH_LOG(5, "[%s]%s plugin Init FAILED.err_code:%d.[%s(%d)]", plugin_name.c_str(),
             static_cast<int>(err_code));
  return 1;
} catch (const std::exception& e) {
  return ExitOnException(PLINTH_SIGNATURE, e.what());
} catch (...) {
  return ExitOnException(PLINTH_SIGNATURE, "(unknown type)");
}
