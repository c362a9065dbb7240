// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The sequence that drives one initialisation of one plug-in.
#ifndef PLINTH_EXECUTEINIT_H_
#define PLINTH_EXECUTEINIT_H_

#include <cstdint>
#include <string>

namespace plinth {

class CExecuteInit {
 public:
  // Loads the tool settings, then, unless `plugin_name` is a special plug-in
  // (built with the platform), reads the plug-in's configuration, builds its
  // databases and releases the manager. Returns true when the plug-in is
  // initialised or needs no initialisation. Sets `err_code` to 1 when the tool
  // settings cannot be loaded and leaves it alone otherwise.
  static bool ExecInitDB(std::int32_t& err_code, const std::string& plugin_name);

  // The check of `plugin_name`: the steps of ExecInitDB up to the manager's
  // configuration, then the manager's CheckDBInit in place of the build.
  // Returns true when a run would find nothing wrong before its first
  // statement, or the plug-in needs no initialisation. Writes no file and
  // takes no lock. Sets `err_code` as ExecInitDB does.
  static bool CheckInitDB(std::int32_t& err_code, const std::string& plugin_name);
};

}  // namespace plinth

#endif  // PLINTH_EXECUTEINIT_H_
