// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// What SQLite itself reads in a statement text, to check the statements the
// tool builds from configured values: whether the text is exactly one
// statement, and which values SQLite would use.
#ifndef PLINTH_TESTS_FUZZ_SQLPROBE_H_
#define PLINTH_TESTS_FUZZ_SQLPROBE_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plinth_fuzz {

struct ProbedStatement {
  // Why the text is not exactly one statement; empty when it is:
  // sqlite3_complete accepts it, no shorter part of it that ends at a ";" is a
  // whole statement, and it prepares with nothing left over.
  std::string problem;
  // For a PRAGMA: its name and value, unquoted, as SQLite hands them to the
  // authorizer. Nothing is applied: the authorizer ignores every PRAGMA.
  std::vector<std::pair<std::string, std::string>> pragmas;
  // For an ATTACH: the file, the schema name and the key (nullopt: none), as
  // the prepared program loads them.
  std::vector<std::optional<std::string>> attach;
};

// Probes `sql` on an in-memory connection of this process.
ProbedStatement ProbeStatement(const std::string& sql);

}  // namespace plinth_fuzz

#endif  // PLINTH_TESTS_FUZZ_SQLPROBE_H_
