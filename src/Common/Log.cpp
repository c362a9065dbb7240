// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/Log.h"

#include <cstring>

namespace plinth {

std::string QualifiedFunctionName(const char* signature) {
  std::string text(signature);
  // The parameter list starts at the first "(" outside template brackets.
  int depth = 0;
  std::size_t open = std::string::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '<') ++depth;
    if (c == '>') --depth;
    if (c == '(' && depth == 0) {
      open = i;
      break;
    }
  }
  if (open == std::string::npos) return text;
  // The name starts after the last blank before it that lies outside template
  // brackets (the return type and specifiers come before).
  depth = 0;
  std::size_t start = 0;
  for (std::size_t i = open; i-- > 0;) {
    const char c = text[i];
    if (c == '>') ++depth;
    if (c == '<') --depth;
    if (c == ' ' && depth == 0) {
      start = i + 1;
      break;
    }
  }
  return text.substr(start, open - start);
}

}  // namespace plinth
