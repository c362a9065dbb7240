// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/SecretText.h"

#include <algorithm>
#include <utility>

#include "Common/Log.h"
#include "SafeFunc.h"

namespace plinth {

CSecretText::CSecretText(std::size_t capacity)
    : buffer_(new char[capacity + 1]()), capacity_(capacity) {}

CSecretText::~CSecretText() {
  if (buffer_ != nullptr) WipeSecret(buffer_.get(), capacity_ + 1, PLINTH_FUNCTION.c_str());
}

CSecretText::CSecretText(CSecretText&& other) noexcept
    : buffer_(std::move(other.buffer_)), capacity_(other.capacity_), size_(other.size_) {
  other.capacity_ = 0;
  other.size_ = 0;
}

bool CSecretText::Append(std::string_view text, char quote) {
  std::size_t size = text.size();
  if (quote != '\0') size += static_cast<std::size_t>(std::count(text.begin(), text.end(), quote));
  if (buffer_ == nullptr || size > capacity_ - size_) return false;
  for (const char c : text) {
    buffer_[size_++] = c;
    if (c == quote && quote != '\0') buffer_[size_++] = c;
  }
  buffer_[size_] = '\0';
  return true;
}

bool CSecretText::AppendHex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  if (buffer_ == nullptr || size > (capacity_ - size_) / 2) return false;
  for (std::size_t i = 0; i < size; ++i) {
    buffer_[size_++] = kDigits[bytes[i] >> 4];
    buffer_[size_++] = kDigits[bytes[i] & 0x0f];
  }
  buffer_[size_] = '\0';
  return true;
}

void WipeSecret(void* bytes, std::size_t size, const char* function) {
  __orl_safec_errno_t = ORL_Memset_s(bytes, size, 0, size);
  if (__orl_safec_errno_t != 0) {
    __orl_safec_error_handle(SourceBaseName(__FILE__), __LINE__, function, "ORL_MEMSET_S",
                             __orl_safec_errno_t);
  }
}

}  // namespace plinth
