// Plinth: creates and initialises the SQLite databases of one plug-in.
// Usage: Plinth <plug-in name>. Exit code 0 on success, 1 on failure.
#include <cstdint>
#include <string>

#include "Common/Log.h"
#include "Common/NameCheck.h"
#include "ExecuteInit.h"
#include "External/QuillBase.h"
#include "Port/Port.h"

namespace {

constexpr char kInstanceName[] = "{A6953687-CDEA-5AB4-8767-5Yid5aeL5YyW5bel5YW3}";

bool IsAlreadyRunning() { return port::IsInstanceRunning(kInstanceName); }

bool EnableDebugPrivilege() { return port::EnableDebugPrivilege(); }

void InitEnvironment() {
  using namespace Quill::Base;
  EnableDebugPrivilege();
  DumpUtil::RunCrashHandler();
  DumpUtil::SetDumpParam(true);
  DumpUtil::SetDumpNumber(true, 3);
  const std::string exe_dir = StringUtil::Local2UTF8(FileUtil::GetCurExeDir());
  CSingleton<details::CLog>::Instance()->InitLog(
      exe_dir + port::NativePath("META_INFO/plinth.log4cxx.properties"));
  DumpUtil::SetDumpPath(exe_dir.c_str());
  FileUtil::InitCurExeDirUtf8(exe_dir);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (IsAlreadyRunning()) {
    PLINTH_LOG(4, "[%s]Already exists Plinth.exe. exit![%s(%d)]");
    return 0;
  }
  std::int32_t err_code = 0;
  InitEnvironment();
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

  if (plinth::CExecuteInit::ExecInitDB(err_code, plugin_name)) {
    PLINTH_LOG(3, "[%s]RUN Plinth SUCCESS.[%s(%d)]");
    return 0;
  }
  if (err_code == 0) err_code = 5;
  PLINTH_LOG(5, "[%s]%s plugin Init FAILED.err_code:%d.[%s(%d)]", plugin_name.c_str(),
             static_cast<int>(err_code));
  return 1;
}
