// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// printf-style formatting into a std::string, shared by the logger and
// str_fmt.
#ifndef PLINTH_LIB_QUILLBASE_FORMAT_H_
#define PLINTH_LIB_QUILLBASE_FORMAT_H_

#include <cstdarg>
#include <string>

namespace Quill {
namespace Base {

std::string FormatV(const char* format, va_list args);

}  // namespace Base
}  // namespace Quill

#endif  // PLINTH_LIB_QUILLBASE_FORMAT_H_
