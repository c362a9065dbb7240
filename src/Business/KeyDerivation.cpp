// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/KeyDerivation.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <set>

#include "Common/AsciiCase.h"
#include "Common/Log.h"

namespace plinth {
namespace {

// The cipher settings of a run that shape the derivation, each where given.
struct CipherSettings {
  std::optional<int> compatibility;
  std::optional<KdfDigest> digest;
  std::optional<int> iterations;
  std::optional<int> page_size;
};

bool IsCipherSetting(const std::string& name) {
  if (name == "key") return false;
  const std::string lower = AsciiLowered(name);
  return lower.compare(0, 6, "cipher") == 0 || lower.find("kdf") != std::string::npos ||
         lower.find("key") != std::string::npos || lower.find("hmac") != std::string::npos;
}

// The value of `text` when it is decimal digits alone, from `min` to `max`.
std::optional<int> Decimal(std::string_view text, int min, int max) {
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > max) return std::nullopt;
  }
  if (value < min) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<KdfDigest> KdfAlgorithm(std::string_view value) {
  if (EqualsIgnoringAsciiCase(value, "PBKDF2_HMAC_SHA1")) return KdfDigest::kSha1;
  if (EqualsIgnoringAsciiCase(value, "PBKDF2_HMAC_SHA256")) return KdfDigest::kSha256;
  if (EqualsIgnoringAsciiCase(value, "PBKDF2_HMAC_SHA512")) return KdfDigest::kSha512;
  return std::nullopt;
}

std::optional<int> PageSize(std::string_view value) {
  const std::optional<int> size = Decimal(value, 512, 65536);
  if (!size || (*size & (*size - 1)) != 0) return std::nullopt;
  return size;
}

// Why the cipher setting `name` is refused for its name: not lower-case, or
// already in `seen`; "" when it is not, and it is then added to `seen`.
std::string NameRefusal(const std::string& name, std::set<std::string>* seen) {
  if (name != AsciiLowered(name)) return "the cipher setting \"" + name + "\" is not in lower case";
  if (!seen->insert(name).second) return "the cipher setting \"" + name + "\" is given twice";
  return "";
}

// `value` refused as the value of `name`, for `why`.
std::string ValueRefusal(const std::string& name, const std::string& value, const char* why) {
  return name + " \"" + value + "\" is not " + why;
}

// Reads the cipher setting `setting` into `*read`; why it is refused, or "".
std::string ReadCipherSetting(const SqliteSetting& setting, CipherSettings* read) {
  const std::string& name = setting.name;
  const std::string& value = setting.value;
  if (name == "cipher_compatibility") {
    read->compatibility = Decimal(value, 1, 4);
    return read->compatibility ? "" : ValueRefusal(name, value, "1, 2, 3 or 4");
  }
  if (name == "cipher_kdf_algorithm") {
    read->digest = KdfAlgorithm(value);
    return read->digest ? "" : ValueRefusal(name, value, "an algorithm SQLCipher names");
  }
  if (name == "kdf_iter") {
    read->iterations = Decimal(value, 1, INT_MAX);
    return read->iterations ? "" : ValueRefusal(name, value, "a count of 1 to 2147483647");
  }
  if (name == "cipher_page_size") {
    read->page_size = PageSize(value);
    return read->page_size ? "" : ValueRefusal(name, value, "a power of two from 512 to 65536");
  }
  if (name == "cipher_hmac_algorithm" || name == "cipher_use_hmac") return "";
  return "the cipher setting \"" + name + "\" is not one Plinth derives keys under";
}

// The derivation of `read`: each setting given, else cipher_compatibility's.
KdfParams Combined(const CipherSettings& read) {
  KdfParams params;
  if (read.compatibility && *read.compatibility < 4) {
    params = {KdfDigest::kSha1, *read.compatibility == 3 ? 64000 : 4000, 1024};
  }
  params.digest = read.digest.value_or(params.digest);
  params.iterations = read.iterations.value_or(params.iterations);
  params.page_size = read.page_size.value_or(params.page_size);
  return params;
}

const EVP_MD* Digest(KdfDigest digest) {
  switch (digest) {
    case KdfDigest::kSha1:
      return EVP_sha1();
    case KdfDigest::kSha256:
      return EVP_sha256();
    case KdfDigest::kSha512:
      break;
  }
  return EVP_sha512();
}

}  // namespace

std::string RawKeyRefusal(const std::vector<SqliteSetting>& settings, const std::string& passphrase,
                          KdfParams* params) {
  CipherSettings read;
  std::set<std::string> seen;
  for (const SqliteSetting& setting : settings) {
    if (!IsCipherSetting(setting.name)) continue;
    std::string refusal = NameRefusal(setting.name, &seen);
    if (refusal.empty()) refusal = ReadCipherSetting(setting, &read);
    if (!refusal.empty()) return refusal;
  }
  if (EqualsIgnoringAsciiCase(std::string_view(passphrase).substr(0, 2), "x'")) {
    return "the key begins with x', which SQLCipher may take for a raw key";
  }
  *params = Combined(read);
  return "";
}

bool DeriveKey(std::string_view passphrase, const unsigned char* salt, const KdfParams& params,
               unsigned char* key) {
  if (passphrase.size() <= static_cast<std::size_t>(INT_MAX) &&
      PKCS5_PBKDF2_HMAC(passphrase.data(), static_cast<int>(passphrase.size()), salt,
                        static_cast<int>(kSaltBytes), params.iterations, Digest(params.digest),
                        static_cast<int>(kKeyBytes), key) == 1) {
    return true;
  }
  WipeSecret(key, kKeyBytes, PLINTH_FUNCTION.c_str());
  return false;
}

bool RandomSalt(unsigned char* salt) { return RAND_bytes(salt, static_cast<int>(kSaltBytes)) == 1; }

CSecretText RawKeyText(const unsigned char* key, const unsigned char* salt) {
  const std::size_t bytes = kKeyBytes + (salt != nullptr ? kSaltBytes : 0);
  CSecretText text(3 + 2 * bytes);
  text.Append("x'");
  text.AppendHex(key, kKeyBytes);
  if (salt != nullptr) text.AppendHex(salt, kSaltBytes);
  text.Append("'");
  return text;
}

}  // namespace plinth
