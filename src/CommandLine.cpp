// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "CommandLine.h"

#include <log4cxx/log4cxx.h>
#include <sqlcipher/sqlite3.h>

#include <boost/version.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <pugixml.hpp>

#include "Common/ErrorText.h"

namespace plinth {
namespace {

constexpr char kUnknown[] = "unknown";

// The usage after its synopsis.
constexpr char kUsageBody[] = R"(
Creates and initialises the SQLite databases of one plug-in of a plug-in
based product: the plug-in's database file is created afresh in the product's
data directory, encrypted with the product's key and filled by the plug-in's
SQL scripts. Run it for "platform" first: that run also creates public.db and
the databases of the special plug-ins (event.s).

  <plug-in>     the plug-in to build: "platform", or the name of its directory
                below <system directory>/META_INFO/; taken exactly as given.
                Only the first argument is read.
  --check <plug-in>
                check the plug-in without building it: read everything a run
                reads and decide what it decides, load the extension libraries
                and apply the key and settings to in-memory databases, and
                read public.db and platform.db read-only; write nothing, take
                no lock. Exit status 0 when a run would find nothing wrong
                before its first statement, else 1.
  -h, --help    print this usage and exit
  --version     print the versions of Plinth and of its libraries and exit

Files, in the directory of the executable (after symbolic links):
  META_INFO/plinth.log4cxx.properties    the log configuration
  META_INFO/InitSetup.xml                the data and system directories
  META_INFO/SQLiteConf/SQLiteConfig.xml  the PRAGMA settings and the key
  META_INFO/db_init/SQLite/create_public_data.sql
and, in the system directory that InitSetup.xml names, ../Product.xml and for
each plug-in META_INFO/<plug-in>/runtime_script/DBConfig.xml and its scripts.
A file that is missing or empty is read from its backup copy: the same name
with the extension ".data".

Every step is logged through log4cxx, where plinth.log4cxx.properties sends
it; without a usable configuration the log goes to standard error.

Only one Plinth runs at a time: a second one, started while the first runs,
logs one notice and exits with 0, doing nothing.

A script still running after 5 seconds is reported in the log every 5
seconds: bytes read, statements completed, seconds so far.

Exit status: 0 when the plug-in was built or needed nothing, when another
Plinth was running, for a sound --check, and for --help and --version; 1 on
any failure (the log names the step that failed).

See plinth(1).
)";

// "PRAGMA cipher_version" on a connection to an in-memory database: the
// version of the SQLCipher that runs, or "unknown" (a plain SQLite answers
// the pragma with no row).
std::string SqlCipherVersion() {
  sqlite3* db = nullptr;
  std::string version = kUnknown;
  if (sqlite3_open(":memory:", &db) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA cipher_version;", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      if (text != nullptr && *text != '\0') version = reinterpret_cast<const char*>(text);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return version;
}

// log4cxx packs major, minor, patch and tweak into one number, a byte each;
// the tweak is shown only when it is not 0. Taken from the header: log4cxx
// 1.0.0 defines its libraryVersion() outside the namespace that declares it,
// so the call does not link.
std::string Log4cxxVersion() {
  constexpr auto version = LOG4CXX_VERSION;
  std::string text = std::to_string(LOG4CXX_VERSION_GET_MAJOR(version)) + "." +
                     std::to_string(LOG4CXX_VERSION_GET_MINOR(version)) + "." +
                     std::to_string(LOG4CXX_VERSION_GET_PATCH(version));
  if (LOG4CXX_VERSION_GET_TWEAK(version) != 0) {
    text += "." + std::to_string(LOG4CXX_VERSION_GET_TWEAK(version));
  }
  return text;
}

// PUGIXML_VERSION is major * 1000 + minor * 10 + patch since 1.10 (1130 is
// 1.13), major * 100 + minor * 10 + patch before (190 is 1.9); a patch of 0
// is not shown.
std::string PugixmlVersion() {
  const int version = PUGIXML_VERSION;
  const int major_unit = version >= 1000 ? 1000 : 100;
  std::string text =
      std::to_string(version / major_unit) + "." + std::to_string(version % major_unit / 10);
  if (version % 10 != 0) text += "." + std::to_string(version % 10);
  return text;
}

// BOOST_VERSION is major * 100000 + minor * 100 + patch (107400 is 1.74.0).
std::string BoostVersion() {
  return std::to_string(BOOST_VERSION / 100000) + "." + std::to_string(BOOST_VERSION / 100 % 1000) +
         "." + std::to_string(BOOST_VERSION % 100);
}

// "/usr/lib/plinth/Plinth" -> "Plinth"; "C:\Plinth\Plinth.exe" -> "Plinth.exe".
std::string ProgramName(const char* argv0) {
  const std::string path = argv0 != nullptr ? argv0 : "";
  const std::string name = path.substr(path.find_last_of("/\\") + 1);
  return name.empty() ? "Plinth" : name;
}

}  // namespace

Request ReadRequest(int argc, const char* const argv[]) noexcept {
  if (argc < 2) return Request::kRun;
  const char* const argument = argv[1];
  if (std::strcmp(argument, "--check") == 0) {
    return argc == 2 ? Request::kCheckWithoutPlugin : Request::kCheck;
  }
  if (argc != 2) return Request::kRun;
  if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
    return Request::kHelp;
  }
  if (std::strcmp(argument, "--version") == 0) return Request::kVersion;
  return Request::kRun;
}

std::optional<std::string> PluginArgument(Request request, int argc, const char* const argv[]) {
  const int index = request == Request::kCheck ? 2 : 1;
  if (argc <= index) return std::nullopt;
  return std::string(argv[index]);
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program + " <plug-in>\n       " + program + " --check <plug-in>\n       " +
         program + " --help | -h\n       " + program + " --version\n" + kUsageBody;
}

std::vector<LibraryVersion> LibraryVersions() {
  return {{"SQLCipher", SqlCipherVersion()},
          {"SQLite", sqlite3_libversion()},
          {"log4cxx", Log4cxxVersion()},
          {"pugixml", PugixmlVersion()},
          {"Boost", BoostVersion()}};
}

std::string VersionText() {
  std::string text = std::string("Plinth ") + PLINTH_VERSION + "\n";
  for (const LibraryVersion& library : LibraryVersions()) {
    text += library.name + " " + library.version + "\n";
  }
  return text;
}

int AnswerRequest(Request request, const char* argv0) {
  if (request == Request::kCheckWithoutPlugin) {
    const std::string program = ProgramName(argv0);
    std::fprintf(stderr, "%s: --check needs the plug-in to check: %s --check <plug-in>\n",
                 program.c_str(), program.c_str());
    return 1;
  }
  const std::string text =
      request == Request::kHelp ? UsageText(ProgramName(argv0)) : VersionText();
  errno = 0;
  const bool written =
      std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
  if (written) return 0;
  const int error = errno;
  std::fprintf(stderr, "%s: cannot write to standard output: %s\n", ProgramName(argv0).c_str(),
               error != 0 ? ErrnoMessage(error).c_str() : "write failed");
  return 1;
}

}  // namespace plinth
