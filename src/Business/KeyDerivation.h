// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// SQLCipher's derivation of a database file's key from the passphrase, made
// by Plinth itself so that it is made once per file: SQLCipher derives the
// key anew at every open and every attach of a file, unless it is handed the
// derived key in its raw-key form. What is derived here is what SQLCipher
// would derive for that file, so the files written are the same byte for
// byte. Nothing here logs.
#ifndef PLINTH_BUSINESS_KEYDERIVATION_H_
#define PLINTH_BUSINESS_KEYDERIVATION_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Business/SqliteSettings.h"
#include "Common/SecretText.h"

namespace plinth {

// The sizes of a file's key (AES-256) and of its salt (the file's first 16
// bytes).
inline constexpr std::size_t kKeyBytes = 32;
inline constexpr std::size_t kSaltBytes = 16;

// The pseudo-random function of the derivation: PBKDF2 with the HMAC of one
// of these digests.
enum class KdfDigest { kSha1, kSha256, kSha512 };

// How SQLCipher derives the key of a file, and the size of the file's first
// page; SQLCipher 4's defaults.
struct KdfParams {
  KdfDigest digest = KdfDigest::kSha512;
  int iterations = 256000;
  int page_size = 4096;
};

// Why the files of a run with the settings `settings` (SQLiteConfig.xml's, in
// file order) and the key `passphrase` are not to be keyed with a key Plinth
// derives, as a clause ("the cipher setting \"KDF_ITER\" is not in lower
// case"); "" when they may be, with `*params` filled in from the settings.
// They may be when every cipher setting (a name, in any letter case,
// beginning with "cipher" or holding "kdf", "key" or "hmac", but for the key
// "key" itself) is lower-case, given once, and one of cipher_compatibility
// (1 to 4), kdf_iter (decimal digits, 1 to INT_MAX), cipher_kdf_algorithm
// (PBKDF2_HMAC_SHA1, _SHA256 or _SHA512, in any letter case, as SQLCipher
// takes it), cipher_page_size (a power of two from 512 to 65536),
// cipher_hmac_algorithm and cipher_use_hmac; and when the passphrase does not
// begin with "x'" (in any letter case), which SQLCipher may take for a raw key
// itself. The digest and iterations are cipher_kdf_algorithm's and kdf_iter's
// where set, else those of cipher_compatibility (1 and 2: SHA1, 4,000; 3:
// SHA1, 64,000; 4: SHA512, 256,000), else SQLCipher 4's; the page size
// likewise (1 to 3: 1024).
std::string RawKeyRefusal(const std::vector<SqliteSetting>& settings, const std::string& passphrase,
                          KdfParams* params);

// Derives into `key` (kKeyBytes) the key of a file whose salt is `salt`
// (kSaltBytes) from `passphrase`, as SQLCipher derives it: PBKDF2 with the
// digest and iterations of `params`. False when OpenSSL fails, `key` then
// wiped.
bool DeriveKey(std::string_view passphrase, const unsigned char* salt, const KdfParams& params,
               unsigned char* key);

// Fills `salt` (kSaltBytes) from OpenSSL's random generator, as SQLCipher
// picks a new file's salt. False when the generator has no bytes to give.
bool RandomSalt(unsigned char* salt);

// SQLCipher's raw-key form of `key` (kKeyBytes): x'<64 hex digits>', and with
// a `salt` (kSaltBytes; null for none) x'<64 hex digits><32 hex digits>', the
// salt SQLCipher then gives a new file.
CSecretText RawKeyText(const unsigned char* key, const unsigned char* salt);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_KEYDERIVATION_H_
