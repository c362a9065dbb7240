// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The options of the command line: --help (or -h) and --version, each taken
// only as the one argument, and --check followed by the plug-in to check.
// --help and --version, and --check without a plug-in, are answered before
// anything else runs: no lock is taken, no file read and no log line written.
#ifndef PLINTH_COMMANDLINE_H_
#define PLINTH_COMMANDLINE_H_

#include <optional>
#include <string>
#include <vector>

namespace plinth {

// What the command line asks for.
enum class Request {
  kRun,                 // build a plug-in: the first argument is its name (or there is none)
  kCheck,               // check a plug-in without building it: "--check" and its name
  kCheckWithoutPlugin,  // "--check" alone: a usage error
  kHelp,                // print the usage
  kVersion,             // print the versions
};

// kHelp when the one argument is "--help" or "-h", kVersion when it is
// "--version", kCheckWithoutPlugin when it is "--check"; kCheck when the
// first of several arguments is "--check"; else kRun. With further arguments
// --help and --version are no options: the run refuses them as plug-in names.
Request ReadRequest(int argc, const char* const argv[]) noexcept;

// The plug-in that `request` (kRun or kCheck) names: the first argument of a
// run, the one after "--check" of a check, exactly as given; absent when there
// is none. Arguments after it are not read.
std::optional<std::string> PluginArgument(Request request, int argc, const char* const argv[]);

// The usage that --help prints, naming the program `program`.
std::string UsageText(const std::string& program);

// One library Plinth runs on, and its version ("3.15.2").
struct LibraryVersion {
  std::string name;
  std::string version;
};

// The libraries in the order --version lists them: SQLCipher and the SQLite
// inside it, both asked of the library that runs; log4cxx, pugixml and Boost
// as their headers tell it. A version that cannot be had reads "unknown".
std::vector<LibraryVersion> LibraryVersions();

// What --version prints: "Plinth <version>", then "<name> <version>" for each
// of LibraryVersions(), a line each.
std::string VersionText();

// Answers `request` (kHelp, kVersion or kCheckWithoutPlugin); `argv0` names
// the program (its base name; "Plinth" when empty or null). kHelp and
// kVersion print their text on standard output and return the exit code: 0
// when the text was written whole, else 1 after one line on standard error.
// kCheckWithoutPlugin writes one line on standard error that says what is
// missing and returns 1.
int AnswerRequest(Request request, const char* argv0);

}  // namespace plinth

#endif  // PLINTH_COMMANDLINE_H_
