// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Comparisons that ignore the letter case of ASCII letters, and of nothing
// else, whatever the process's locale: InitLog takes the environment's
// LC_CTYPE, under which std::tolower would fold other bytes of a single-byte
// code page too, or map "I" to a dotless i.
#ifndef PLINTH_COMMON_ASCIICASE_H_
#define PLINTH_COMMON_ASCIICASE_H_

#include <algorithm>
#include <string>
#include <string_view>

namespace plinth {

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with its ASCII letters in lower case.
inline std::string AsciiLowered(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

// True when `a` and `b` are equal but for the case of ASCII letters.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// True when `text` begins with `prefix` but for the case of ASCII letters.
inline bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace plinth

#endif  // PLINTH_COMMON_ASCIICASE_H_
