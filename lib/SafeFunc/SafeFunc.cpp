// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "SafeFunc.h"

#include <cerrno>
#include <cstring>

#include "QuillBase.h"

int __orl_safec_errno_t = 0;

int ORL_Memset_s(void* dest, std::size_t dest_size, int value, std::size_t count) {
  if (dest == nullptr) return EINVAL;
  if (count > dest_size) return ERANGE;
  std::memset(dest, value, count);
  return 0;
}

void __orl_safec_error_handle(const char* file, int line, const char* function, const char* call,
                              int code) {
  Quill::Base::details::VexaFormatLog(static_cast<int>(Quill::Base::LogLevel::kError), "PLINTH",
                                      "[%s]%s fail, errno_t:%d.[%s(%d)]", function, call, code,
                                      file, line);
}
