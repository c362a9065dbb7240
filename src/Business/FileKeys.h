// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The keys of the database files one run keys, each derived once
// (KeyDerivation) and handed to SQLCipher in its raw-key form at every open
// and attach of the file; or, where that cannot be done, none: that file is
// keyed with the passphrase, as SQLCipher keys it by itself.
#ifndef PLINTH_BUSINESS_FILEKEYS_H_
#define PLINTH_BUSINESS_FILEKEYS_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Business/KeyDerivation.h"
#include "Business/SqliteSettings.h"
#include "Common/Log.h"
#include "Common/SecretText.h"

namespace plinth {

// Whether the run creates a database file afresh as it keys it (it was just
// removed), or keys a file that may exist.
enum class FileOrigin { kCreated, kExisting };

class CFileKeys {
 public:
  // Plans the keying of a run with the settings `settings` (SQLiteConfig.xml's,
  // in file order) and the key `passphrase`: the derivation they give, or why
  // the files take the passphrase (RawKeyRefusal). Forgets every file's key.
  void Plan(const std::vector<SqliteSetting>& settings, const std::string& passphrase);

  // The raw-key text the file at `path` is keyed with, derived from
  // `passphrase` the first time the run keys the file and kept for every later
  // keying of it, or null when the file takes the passphrase. A file of
  // `origin` kCreated, and one that is missing or empty, gets a fresh random
  // salt, which the text carries (a file keyed before is keyed anew); any
  // other file is derived with the salt of its first bytes. A file takes the
  // passphrase when the plan says so, or when it is shorter than its first
  // page, not encrypted (SQLite's plain header) or cannot be read, or the
  // salt or the derivation fails: said at `at`, at level 3, once a run for
  // the plan and once a file else. The text is this object's, until Plan or
  // Forget.
  const CSecretText* RawKey(const LogSite& at, const std::string& path,
                            const std::string& passphrase, FileOrigin origin);

  // Forgets every file's key, each wiped.
  void Forget();

 private:
  // The raw-key text of the file at `path`, derived now; null, said at `at`,
  // when the file takes the passphrase.
  std::unique_ptr<CSecretText> Derive(const LogSite& at, const std::string& path,
                                      const std::string& passphrase, FileOrigin origin) const;

  std::string refusal_;
  bool refusal_said_ = false;
  KdfParams params_;
  // Each file keyed so far, by its path: its raw-key text, or null for the
  // passphrase.
  std::map<std::string, std::unique_ptr<CSecretText>> keys_;
};

}  // namespace plinth

#endif  // PLINTH_BUSINESS_FILEKEYS_H_
