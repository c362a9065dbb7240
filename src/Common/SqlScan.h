// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Reading SQL text as SQLite's tokenizer does, as far as a log line about a
// script's statement needs it: where a statement begins, on which line, its
// tokens, and its first characters. Nothing here runs SQL; all offsets are
// byte offsets into the text given.
#ifndef PLINTH_COMMON_SQLSCAN_H_
#define PLINTH_COMMON_SQLSCAN_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace plinth {

// True for the bytes that SQLite's tokenizer reads as part of a name or a
// keyword: ASCII letters and digits, "_", "$", and every byte of a non-ASCII
// character.
inline bool IsIdByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
         u == '$' || u >= 0x80;
}

// The offset of the first byte at or after `pos` that is not whitespace, not
// part of a comment ("-- ..." to the line's end, "/* ... */", an unclosed one
// to the text's end) and not the ";" of an empty statement: where SQLite finds
// the statement's first token. text.size() when there is none.
std::size_t StatementBegin(std::string_view text, std::size_t pos);

// The offset of the first byte at or after `pos` that is neither whitespace nor
// part of a comment.
std::size_t SkipBlank(std::string_view text, std::size_t pos);

// The token of `text` that begins at `pos` (whitespace and comments before it
// skipped), with `pos` moved past it: a quoted name or literal ('...', "...",
// `...` with the quote doubled inside, [...]; unclosed: to the text's end), a
// word (letters, digits, "_", "$" and non-ASCII bytes), or any other single
// byte. Empty at the text's end.
std::string_view NextToken(std::string_view text, std::size_t& pos);

// `token` without its quotes, a doubled quote inside made single; any other
// token unchanged.
std::string Unquoted(std::string_view token);

// The 1-based number of the line that holds the byte at `offset`: one more
// than the line feeds before it.
std::size_t LineOf(std::string_view text, std::size_t offset);

// The first `max_chars` characters of `statement` (UTF-8 sequences counted as
// one, never cut), without trailing whitespace; "..." appended when more
// followed.
std::string Preview(std::string_view statement, std::size_t max_chars);

}  // namespace plinth

#endif  // PLINTH_COMMON_SQLSCAN_H_
