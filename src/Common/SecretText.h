// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Text that carries key material: a derived key, or a statement holding one.
#ifndef PLINTH_COMMON_SECRETTEXT_H_
#define PLINTH_COMMON_SECRETTEXT_H_

#include <cstddef>
#include <memory>
#include <string_view>

namespace plinth {

// Text in one buffer whose size is fixed when it is made: appending never
// reallocates, so no copy of the text is left behind in freed memory, and the
// buffer is wiped (ORL_Memset_s) before it is freed. Moving hands the buffer
// over; nothing copies it.
class CSecretText {
 public:
  // An empty text with room for `capacity` bytes (and a closing NUL).
  explicit CSecretText(std::size_t capacity);
  ~CSecretText();
  CSecretText(CSecretText&& other) noexcept;
  CSecretText& operator=(CSecretText&&) = delete;
  CSecretText(const CSecretText&) = delete;
  CSecretText& operator=(const CSecretText&) = delete;

  // Appends `text`, every `quote` in it doubled ('\0': none). False, with
  // nothing appended, when it does not fit.
  bool Append(std::string_view text, char quote = '\0');

  // Appends the `size` bytes at `bytes` as lower-case hexadecimal digits.
  // False, with nothing appended, when they do not fit.
  bool AppendHex(const unsigned char* bytes, std::size_t size);

  // The text, NUL-terminated; valid while this object lives.
  const char* c_str() const { return buffer_.get(); }
  std::string_view view() const { return {buffer_.get(), size_}; }

 private:
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Wipes the `size` bytes at `bytes` (ORL_Memset_s); a failure is reported
// through the safe functions' handler, on behalf of `function`.
void WipeSecret(void* bytes, std::size_t size, const char* function);

}  // namespace plinth

#endif  // PLINTH_COMMON_SECRETTEXT_H_
