// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <cstdarg>
#include <cstdio>

#include "Format.h"
#include "Port.h"
#include "QuillBase.h"

namespace Quill {
namespace Base {

std::string FormatV(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (size <= 0) return std::string();
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

namespace StringUtil {

std::string str_fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

std::string Local2UTF8(const std::string& text) { return port::LocalToUtf8(text); }

std::string UTF82Local(const std::string& text) { return port::Utf8ToLocal(text); }

}  // namespace StringUtil
}  // namespace Base
}  // namespace Quill
