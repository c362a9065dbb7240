// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/ErrorText.h"

#include <cstring>

namespace plinth {

std::string ErrnoMessage(int number) { return std::strerror(number); }

std::string ErrnoNumber(int number) { return "errno_t:" + std::to_string(number); }

std::string FileSystemError(const boost::system::error_code& ec) {
  return "errinfo:" + ec.message();
}

}  // namespace plinth
