// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "SqlProbe.h"

#include <sqlcipher/sqlite3.h>

#include <cstdlib>

#include "FuzzSupport.h"

namespace plinth_fuzz {
namespace {

std::vector<std::pair<std::string, std::string>>* g_pragmas = nullptr;

int Authorize(void*, int action, const char* first, const char* second, const char*, const char*) {
  if (action != SQLITE_PRAGMA) return SQLITE_OK;
  if (g_pragmas != nullptr) {
    g_pragmas->emplace_back(first != nullptr ? first : "", second != nullptr ? second : "");
  }
  return SQLITE_IGNORE;
}

sqlite3* Connection() {
  static sqlite3* const conn = [] {
    sqlite3* db = nullptr;
    FUZZ_CHECK(sqlite3_open(":memory:", &db) == SQLITE_OK, "cannot open an in-memory database");
    sqlite3_set_authorizer(db, Authorize, nullptr);
    return db;
  }();
  return conn;
}

// Why `sql` is not one whole statement by sqlite3_complete; empty when it is.
std::string CompletenessProblem(const std::string& sql) {
  if (sqlite3_complete(sql.c_str()) != 1) return "sqlite3_complete does not accept it";
  for (std::size_t at = sql.find(';'); at + 1 < sql.size(); at = sql.find(';', at + 1)) {
    if (at == std::string::npos) break;
    if (sqlite3_complete(sql.substr(0, at + 1).c_str()) == 1) {
      return "it holds a whole statement before its end, at byte " + std::to_string(at);
    }
  }
  return std::string();
}

}  // namespace

ProbedStatement ProbeStatement(const std::string& sql) {
  ProbedStatement probed;
  probed.problem = CompletenessProblem(sql);
  if (!probed.problem.empty()) return probed;

  // EXPLAIN prepares the statement as it is, and lists the program, where an
  // ATTACH loads its three values in order.
  const std::string explain = "EXPLAIN " + sql;
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  g_pragmas = &probed.pragmas;
  const int rc = sqlite3_prepare_v2(Connection(), explain.c_str(), -1, &stmt, &tail);
  g_pragmas = nullptr;
  if (rc != SQLITE_OK) {
    probed.problem = std::string("it does not prepare: ") + sqlite3_errmsg(Connection());
    return probed;
  }
  if (tail == nullptr || *tail != '\0') probed.problem = "text is left after the statement";
  const bool attach = sql.compare(0, 7, "ATTACH ") == 0;
  while (attach && probed.attach.size() < 3 && sqlite3_step(stmt) == SQLITE_ROW) {
    const std::string opcode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    if (opcode == "Null") probed.attach.emplace_back(std::nullopt);
    if (opcode == "String8") {
      const auto* p4 = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 5));
      probed.attach.emplace_back(std::string(p4 != nullptr ? p4 : ""));
    }
  }
  sqlite3_finalize(stmt);
  return probed;
}

}  // namespace plinth_fuzz
