// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/FileKeys.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "Common/ErrorText.h"
#include "Common/FileBak.h"
#include "QuillBase.h"

namespace plinth {
namespace {

// SQLite's header of a database file that is not encrypted, its NUL counted:
// as long as a salt.
constexpr char kPlainHeader[] = "SQLite format 3";
static_assert(sizeof(kPlainHeader) == kSaltBytes, "the plain header is as long as a salt");

// What a database file's first bytes say about its salt.
struct FileSalt {
  bool fresh = false;   // a new file: it gets a fresh salt
  std::string salt;     // else its first kSaltBytes bytes
  std::string refusal;  // why the file takes the passphrase; "" when it does not
};

FileSalt Refused(std::string why) { return {false, "", std::move(why)}; }

// The salt of the database file at `path`, whose first page is `page_size`
// bytes long: a fresh one for a missing or empty file.
FileSalt SaltOfFile(const std::string& path, int page_size) {
  CInputFile file;
  const int error = file.Open(Quill::Base::StringUtil::UTF82Local(path));
  if (error == ENOENT) return {true, "", ""};
  if (error != 0) return Refused(std::string("it cannot be opened: ") + ErrnoMessage(error));
  std::string head;
  const std::size_t read = file.Read(head, static_cast<std::size_t>(page_size));
  if (file.ReadError() != 0) {
    return Refused(std::string("it cannot be read: ") + ErrnoMessage(file.ReadError()));
  }
  if (read == 0) return {true, "", ""};
  if (read < static_cast<std::size_t>(page_size))
    return Refused("it is shorter than its first page");
  if (head.compare(0, kSaltBytes, kPlainHeader, kSaltBytes) == 0) {
    return Refused("it is not encrypted");
  }
  return {false, head.substr(0, kSaltBytes), ""};
}

// Fills `salt` (kSaltBytes) with the salt `file` says; why that failed, or "".
std::string SaltBytes(const FileSalt& file, unsigned char* salt) {
  if (!file.fresh) {
    std::memcpy(salt, file.salt.data(), kSaltBytes);
    return "";
  }
  return RandomSalt(salt) ? "" : "no random salt could be had";
}

void SayPassphrase(const LogSite& at, const std::string& path, const std::string& why) {
  PLINTH_LOG_AT(at, LogLevel::kInfo,
                "[%s]%s is keyed with the passphrase (a key derivation at every open and "
                "attach): %s[%s(%d)]",
                path.c_str(), why.c_str());
}

}  // namespace

void CFileKeys::Plan(const std::vector<SqliteSetting>& settings, const std::string& passphrase) {
  Forget();
  params_ = KdfParams();
  refusal_ = RawKeyRefusal(settings, passphrase, &params_);
  refusal_said_ = false;
}

const CSecretText* CFileKeys::RawKey(const LogSite& at, const std::string& path,
                                     const std::string& passphrase, FileOrigin origin) {
  if (!refusal_.empty()) {
    if (!refusal_said_) {
      PLINTH_LOG_AT(at, LogLevel::kInfo,
                    "[%s]the database files are keyed with the passphrase (a key derivation at "
                    "every open and attach): %s[%s(%d)]",
                    refusal_.c_str());
    }
    refusal_said_ = true;
    return nullptr;
  }
  const auto known = keys_.find(path);
  if (origin == FileOrigin::kExisting && known != keys_.end()) return known->second.get();
  std::unique_ptr<CSecretText>& entry = keys_[path];
  entry = Derive(at, path, passphrase, origin);
  return entry.get();
}

void CFileKeys::Forget() { keys_.clear(); }

std::unique_ptr<CSecretText> CFileKeys::Derive(const LogSite& at, const std::string& path,
                                               const std::string& passphrase,
                                               FileOrigin origin) const {
  const FileSalt file =
      origin == FileOrigin::kCreated ? FileSalt{true, "", ""} : SaltOfFile(path, params_.page_size);
  unsigned char salt[kSaltBytes];
  std::string refusal = file.refusal.empty() ? SaltBytes(file, salt) : file.refusal;
  unsigned char key[kKeyBytes];
  if (refusal.empty() && !DeriveKey(passphrase, salt, params_, key)) {
    refusal = "the key derivation failed";
  }
  if (!refusal.empty()) {
    SayPassphrase(at, path, refusal);
    return nullptr;
  }
  auto text = std::make_unique<CSecretText>(RawKeyText(key, file.fresh ? salt : nullptr));
  WipeSecret(key, sizeof key, PLINTH_FUNCTION.c_str());
  return text;
}

}  // namespace plinth
