// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/SqlScan.h"

#include <algorithm>

namespace plinth {
namespace {

// SQLite's whitespace.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The end of the quoted token that begins at `pos` with `open`.
std::size_t QuotedEnd(std::string_view text, std::size_t pos, char open) {
  const char close = open == '[' ? ']' : open;
  std::size_t i = pos + 1;
  while (i < text.size()) {
    if (text[i] != close) {
      ++i;
    } else if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
      i += 2;
    } else {
      return i + 1;
    }
  }
  return text.size();
}

}  // namespace

std::size_t SkipBlank(std::string_view text, std::size_t pos) {
  while (pos < text.size()) {
    if (IsBlank(text[pos])) {
      ++pos;
    } else if (text.compare(pos, 2, "--") == 0) {
      const std::size_t end = text.find('\n', pos);
      pos = end == std::string_view::npos ? text.size() : end + 1;
    } else if (text.compare(pos, 2, "/*") == 0) {
      const std::size_t end = text.find("*/", pos + 2);
      pos = end == std::string_view::npos ? text.size() : end + 2;
    } else {
      break;
    }
  }
  return std::min(pos, text.size());
}

std::size_t StatementBegin(std::string_view text, std::size_t pos) {
  pos = SkipBlank(text, pos);
  while (pos < text.size() && text[pos] == ';') pos = SkipBlank(text, pos + 1);
  return pos;
}

std::string_view NextToken(std::string_view text, std::size_t& pos) {
  const std::size_t begin = SkipBlank(text, pos);
  std::size_t end = begin;
  if (begin < text.size()) {
    const char c = text[begin];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      end = QuotedEnd(text, begin, c);
    } else if (IsIdByte(c)) {
      while (end < text.size() && IsIdByte(text[end])) ++end;
    } else {
      end = begin + 1;
    }
  }
  pos = end;
  return text.substr(begin, end - begin);
}

std::string Unquoted(std::string_view token) {
  if (token.empty()) return std::string();
  const char open = token.front();
  if (open != '\'' && open != '"' && open != '`' && open != '[') return std::string(token);
  const char close = open == '[' ? ']' : open;
  std::string out;
  for (std::size_t i = 1; i < token.size(); ++i) {
    if (token[i] != close) {
      out += token[i];
    } else if (close != ']' && i + 1 < token.size() && token[i + 1] == close) {
      out += close;
      ++i;
    } else {
      break;
    }
  }
  return out;
}

std::size_t LineOf(std::string_view text, std::size_t offset) {
  const std::string_view before = text.substr(0, offset);
  return 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
}

std::string Preview(std::string_view statement, std::size_t max_chars) {
  std::size_t size = statement.size();
  while (size > 0 && IsBlank(statement[size - 1])) --size;
  statement = statement.substr(0, size);
  std::size_t end = 0;
  for (std::size_t chars = 0; end < statement.size() && chars < max_chars; ++chars) {
    ++end;
    // UTF-8 continuation bytes belong to the character before them.
    while (end < statement.size() && (static_cast<unsigned char>(statement[end]) & 0xC0) == 0x80) {
      ++end;
    }
  }
  std::string out(statement.substr(0, end));
  if (end < statement.size()) out += "...";
  return out;
}

}  // namespace plinth
