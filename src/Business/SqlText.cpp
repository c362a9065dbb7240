// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/SqlText.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "Common/AsciiCase.h"
#include "Common/SqlScan.h"
#include "QuillBase.h"

namespace plinth {
namespace {

using Quill::Base::StringUtil::str_fmt;

constexpr char kMasked[] = "***";

// `text` with every `quote` doubled.
std::string DoubleQuotes(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == quote) out += c;
  }
  return out;
}

// A value inserted into a statement text, and the quote that is doubled in
// it ('\0' for none).
struct Part {
  std::string_view text;
  char quote;
};

// The length of `part` once its quotes are doubled, without building it.
std::size_t QuotedSize(const Part& part) {
  std::size_t size = part.text.size();
  if (part.quote == '\0') return size;
  const char* p = part.text.data();
  const char* const end = p + part.text.size();
  while ((p = static_cast<const char*>(std::memchr(p, part.quote, end - p))) != nullptr) {
    ++size;
    ++p;
  }
  return size;
}

// True when `format` with `parts` inserted fits in INT_MAX bytes (the "%s" of
// the format counted in: the sum is an upper bound). The plain sizes are
// summed first, so that a text far too long is not scanned for quotes.
bool Fits(const char* format, std::initializer_list<Part> parts) {
  for (const bool quoted : {false, true}) {
    std::size_t size = std::strlen(format);
    for (const Part& part : parts) {
      const std::size_t part_size = quoted ? QuotedSize(part) : part.text.size();
      if (part_size > static_cast<std::size_t>(INT_MAX) - size) return false;
      size += part_size;
    }
  }
  return true;
}

// `text` as str_fmt answered it; nullopt when formatting failed (str_fmt
// answers "", which none of the formats here can give otherwise).
std::optional<std::string> Built(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// `format` with each "%s" replaced by the next of `parts`, its quote
// doubled, in a buffer wiped after use; nullopt when longer than INT_MAX.
std::optional<CSecretText> SecretFormatted(const char* format, std::initializer_list<Part> parts) {
  if (!Fits(format, parts)) return std::nullopt;
  std::size_t size = std::strlen(format) - 2 * parts.size();
  for (const Part& part : parts) size += QuotedSize(part);
  CSecretText text(size);
  auto part = parts.begin();
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's' && part != parts.end()) {
      text.Append(part->text, part->quote);
      ++part;
      ++p;
    } else {
      text.Append(std::string_view(p, 1));
    }
  }
  return text;
}

// How the masking of keys reads a script's text: as SQLite's tokenizer does
// (SqlScan), but for control characters and non-ASCII bytes, which it takes
// for blanks. A byte-order mark or a no-break space glued to ATTACH, PRAGMA or
// KEY looks like a space to whoever wrote it; SQLite reads one word, fails,
// and the text is shown: the masking must see the key word there.
bool IsMaskBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x20 || u >= 0x7F;
}

bool IsAsciiWordByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
         u == '$';
}

bool IsQuote(char c) { return c == '\'' || c == '"' || c == '`' || c == '['; }

struct MaskToken {
  enum Kind { kWord, kQuoted, kBlob, kOther };
  std::string_view text;  // empty at the text's end
  std::size_t begin = 0;
  std::size_t end = 0;
  Kind kind = kOther;
};

// Finds the next run of bytes of `text` at or after `*begin` that are all
// `in_word`, and sets `*begin` and `*end` around it. False when there is none.
bool NextWord(std::string_view text, bool (*in_word)(char), std::size_t* begin, std::size_t* end) {
  std::size_t i = *begin;
  while (i < text.size() && !in_word(text[i])) ++i;
  if (i == text.size()) return false;
  *begin = i;
  while (i < text.size() && in_word(text[i])) ++i;
  *end = i;
  return true;
}

// Where a key begins in a script's text: the text before `at` may be shown,
// with `mask` in place of the rest. `at` is npos when the text holds no key.
struct KeyCut {
  std::size_t at = std::string_view::npos;
  const char* mask = "";
  std::size_t name = std::string_view::npos;  // where the key's PRAGMA name or KEY stands
};

bool EndsWithKey(std::string_view lower) {
  return lower.size() >= 3 && lower.compare(lower.size() - 3, 3, "key") == 0;
}

// Where "pragma" or "attach" stands in the lower-case `word`; npos when in
// neither.
std::size_t KeyStatementWord(std::string_view lower) {
  return std::min(lower.find("pragma"), lower.find("attach"));
}

// The first key of `text` read as words alone, quotes and comments taken for
// blanks, and words glued together taken apart: a word that ends with "key"
// after PRAGMA or ATTACH, or after either in the same word. Its offsets are
// into the text `text` begins at `offset` of.
KeyCut WordKeyCut(std::string_view text, std::size_t offset) {
  bool after = false;
  for (std::size_t pos = 0, end = 0; NextWord(text, IsAsciiWordByte, &pos, &end); pos = end) {
    const std::string word = AsciiLowered(text.substr(pos, end - pos));
    const std::size_t found = KeyStatementWord(word);
    if ((after || found != std::string::npos) &&
        EndsWithKey(std::string_view(word).substr(after ? 0 : found + 6))) {
      return {offset + end, " ***", offset + pos};
    }
    after = after || found != std::string::npos;
  }
  return {};
}

// The tokens of a text, as the masking reads them, and whether they can be
// trusted. A text is doubtful when a quote or comment is left open, a quoted
// token spans lines or is glued to a word or another quote ('it's'), or a
// quoted name holds a ";" or a quote: the marks of a quote gone astray, after
// which what SQLite reads as a literal may be what the script's author wrote
// as a statement; and when PRAGMA or ATTACH is glued to a word. A comment is
// read for a key statement of its own.
class MaskReader {
 public:
  explicit MaskReader(std::string_view text) : text_(text) {}

  MaskToken Next() {
    Skip();
    MaskToken token;
    token.begin = pos_;
    if (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (IsQuote(c)) {
        token.kind = MaskToken::kQuoted;
        pos_ = QuotedEnd(pos_);
      } else if (IsAsciiWordByte(c)) {
        token.kind = MaskToken::kWord;
        while (pos_ < text_.size() && IsAsciiWordByte(text_[pos_])) ++pos_;
        const std::string word = AsciiLowered(text_.substr(token.begin, pos_ - token.begin));
        if (word != "pragma" && word != "attach" && KeyStatementWord(word) != std::string::npos) {
          doubtful_ = true;  // PRAGMA or ATTACH glued to a word
        }
        if (pos_ < text_.size() && text_[pos_] == '\'') {
          if (pos_ - token.begin == 1 && (c == 'x' || c == 'X')) {
            token.kind = MaskToken::kBlob;
            pos_ = QuotedEnd(pos_);
          } else {
            doubtful_ = true;
          }
        }
      } else {
        ++pos_;
      }
      if ((token.kind == MaskToken::kQuoted || token.kind == MaskToken::kBlob) &&
          pos_ < text_.size() && (IsAsciiWordByte(text_[pos_]) || IsQuote(text_[pos_]))) {
        doubtful_ = true;
      }
    }
    token.end = pos_;
    token.text = text_.substr(token.begin, token.end - token.begin);
    return token;
  }

  bool doubtful() const { return doubtful_; }

  // The first key that the comments read so far hold.
  const KeyCut& comment_key() const { return comment_key_; }

 private:
  void Skip() {
    while (pos_ < text_.size()) {
      std::size_t end = 0;
      std::size_t next = 0;
      if (IsMaskBlank(text_[pos_])) {
        ++pos_;
        continue;
      }
      if (text_.compare(pos_, 2, "--") == 0) {
        end = std::min(text_.find('\n', pos_), text_.size());
        next = std::min(end + 1, text_.size());
      } else if (text_.compare(pos_, 2, "/*") == 0) {
        end = std::min(text_.find("*/", pos_ + 2), text_.size());
        doubtful_ = doubtful_ || end == text_.size();
        next = std::min(end + 2, text_.size());
      } else {
        return;
      }
      if (comment_key_.at == std::string_view::npos) {
        comment_key_ = WordKeyCut(text_.substr(pos_ + 2, end - pos_ - 2), pos_ + 2);
      }
      pos_ = next;
    }
  }

  // The end of the quoted token that opens at `open`; a doubled quote inside
  // it is part of it.
  std::size_t QuotedEnd(std::size_t open) {
    const char close = text_[open] == '[' ? ']' : text_[open];
    for (std::size_t i = open + 1; i < text_.size(); ++i) {
      const char c = text_[i];
      if (c == '\n' || (close != '\'' && (c == ';' || (IsQuote(c) && c != close)))) {
        doubtful_ = true;
      }
      if (c != close) continue;
      if (close != ']' && i + 1 < text_.size() && text_[i + 1] == close) {
        ++i;
        continue;
      }
      return i + 1;
    }
    doubtful_ = true;
    return text_.size();
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool doubtful_ = false;
  KeyCut comment_key_;
};

bool IsWord(const MaskToken& token, const char* word) {
  return token.kind != MaskToken::kOther && token.kind != MaskToken::kBlob &&
         EqualsIgnoringAsciiCase(Unquoted(token.text), word);
}

// The one of `a` and `b` that shows less.
KeyCut Earlier(const KeyCut& a, const KeyCut& b) { return b.at < a.at ? b : a; }

// The first key of the text `reader` reads, by its tokens: after a KEY that
// follows an ATTACH, or after a key PRAGMA's name, its "=" or its "("; or a
// key that a comment holds.
KeyCut TokenKeyCut(MaskReader& reader) {
  bool attach = false;
  for (MaskToken token = reader.Next(); !token.text.empty(); token = reader.Next()) {
    if (reader.comment_key().at != std::string_view::npos) return reader.comment_key();
    if (IsWord(token, "ATTACH")) attach = true;
    if (attach && IsWord(token, "KEY")) return {token.end, " ***", token.begin};
    if (!IsWord(token, "PRAGMA")) continue;
    MaskReader ahead = reader;
    MaskToken name = ahead.Next();
    MaskToken next = ahead.Next();
    if (next.text == ".") {
      name = ahead.Next();
      next = ahead.Next();
    }
    if (name.kind == MaskToken::kBlob || !IsKeySetting(Unquoted(name.text))) continue;
    if (next.text == "=") return Earlier({next.end, " ***", name.begin}, ahead.comment_key());
    if (next.text == "(") return Earlier({next.end, "***)", name.begin}, ahead.comment_key());
    if (!next.text.empty() && next.text != ";") {
      return Earlier({name.end, " ***", name.begin}, ahead.comment_key());
    }
  }
  return reader.comment_key();
}

// Where the first key of `text` begins. Read by its tokens; when these are
// doubtful, a key that only the words show before that is taken.
KeyCut FindKeyCut(std::string_view text) {
  MaskReader reader(text);
  KeyCut cut = TokenKeyCut(reader);
  if (reader.doubtful()) {
    const std::size_t before = cut.name == std::string_view::npos ? text.size() : cut.name;
    const KeyCut by_words = WordKeyCut(text.substr(0, before), 0);
    if (by_words.at != std::string_view::npos) cut = by_words;
  }
  return cut;
}

// The parts of an error text to be shown as "***".
class ErrorMask {
 public:
  explicit ErrorMask(const std::string& error) : error_(error), masked_(error.size(), false) {}

  // Each double-quoted part, an unclosed one to the end: SQLite quotes the
  // token it stumbled on.
  void QuotedParts() {
    for (std::size_t open = error_.find('"'); open != std::string::npos;
         open = error_.find('"', open + 1)) {
      const std::size_t close = error_.find('"', open + 1);
      unclosed_ = close == std::string::npos;
      Span(open + 1, unclosed_ ? error_.size() : close);
      if (unclosed_) return;
      open = close;
    }
  }

  // Every occurrence of `text`.
  void Text(std::string_view text) { All(text, false); }

  // Every occurrence of `word` that stands as a whole word, as SQLite reads
  // names (IsIdByte).
  void Word(std::string_view word) { All(word, true); }

  // The error, each run of masked bytes written "***" (and an unclosed
  // quoted part closed).
  std::string Shown() const {
    std::string shown;
    for (std::size_t i = 0; i < error_.size();) {
      if (!masked_[i]) {
        shown += error_[i++];
        continue;
      }
      shown += kMasked;
      while (i < error_.size() && masked_[i]) ++i;
    }
    if (unclosed_) shown += error_.back() == '"' ? "***\"" : "\"";
    return shown;
  }

 private:
  void Span(std::size_t from, std::size_t to) {
    std::fill(masked_.begin() + static_cast<std::ptrdiff_t>(from),
              masked_.begin() + static_cast<std::ptrdiff_t>(to), true);
  }

  void All(std::string_view text, bool whole_words) {
    if (text.empty()) return;
    for (std::size_t at = error_.find(text); at != std::string::npos;
         at = error_.find(text, at + 1)) {
      const std::size_t end = at + text.size();
      const bool inside_word =
          (at > 0 && IsIdByte(error_[at - 1])) || (end < error_.size() && IsIdByte(error_[end]));
      if (!whole_words || !inside_word) Span(at, end);
    }
  }

  const std::string& error_;
  std::vector<bool> masked_;
  bool unclosed_ = false;
};

}  // namespace

bool IsKeySetting(const std::string& name) {
  for (const char* key : {"key", "rekey", "hexkey", "hexrekey", "textkey", "textrekey"}) {
    if (EqualsIgnoringAsciiCase(name, key)) return true;
  }
  return false;
}

std::string LoggableValue(const std::string& name, const std::string& value) {
  return IsKeySetting(name) ? kMasked : value;
}

std::string QuotedName(const std::string& name) { return "\"" + DoubleQuotes(name, '"') + "\""; }

std::string LoggableScriptStatement(std::string_view statement) {
  const KeyCut cut = FindKeyCut(statement);
  if (cut.at == std::string_view::npos) return std::string(statement);
  return std::string(statement.substr(0, cut.at)) + cut.mask;
}

std::string LoggableScriptError(std::string_view statement, const std::string& error) {
  const KeyCut cut = FindKeyCut(statement);
  if (cut.at == std::string_view::npos) return error;
  ErrorMask mask(error);
  mask.QuotedParts();
  const std::string_view value = statement.substr(cut.at);
  MaskReader reader(value);
  for (MaskToken token = reader.Next(); !token.text.empty(); token = reader.Next()) {
    switch (token.kind) {
      case MaskToken::kWord:
        mask.Word(token.text);
        break;
      case MaskToken::kQuoted:
        mask.Text(token.text);
        mask.Text(Unquoted(token.text));
        break;
      case MaskToken::kBlob:
        mask.Text(token.text);
        mask.Text(Unquoted(token.text.substr(1)));
        break;
      case MaskToken::kOther:
        break;
    }
  }
  // The same text read as words alone, as SQLite reads names (a non-ASCII
  // character is part of one), for a key that stands where its tokens cannot
  // be trusted.
  for (std::size_t pos = 0, end = 0; NextWord(value, IsIdByte, &pos, &end); pos = end) {
    mask.Word(value.substr(pos, end - pos));
  }
  return mask.Shown();
}

// The statement texts; literal formats, so the compiler checks the arguments.
#define PLINTH_KEY_SQL "PRAGMA key = '%s';"
#define PLINTH_SETTING_SQL "PRAGMA \"%s\" = \"%s\";"
#define PLINTH_ATTACH_SQL "ATTACH DATABASE '%s' AS %s;"
#define PLINTH_ATTACH_KEY_SQL "ATTACH DATABASE '%s' AS %s KEY '%s';"

std::optional<SqlStatement> KeyStatement(std::string_view key) {
  if (!Fits(PLINTH_KEY_SQL, {{key, '\''}})) return std::nullopt;
  std::optional<std::string> sql = Built(str_fmt(PLINTH_KEY_SQL, DoubleQuotes(key, '\'').c_str()));
  if (!sql) return std::nullopt;
  return SqlStatement{std::move(*sql), str_fmt(PLINTH_KEY_SQL, kMasked)};
}

std::optional<SecretStatement> RawKeyStatement(const CSecretText& raw) {
  std::optional<CSecretText> sql = SecretFormatted(PLINTH_KEY_SQL, {{raw.view(), '\''}});
  if (!sql) return std::nullopt;
  return SecretStatement{std::move(*sql), str_fmt(PLINTH_KEY_SQL, kMasked)};
}

std::optional<SqlStatement> SettingStatement(std::string_view name, std::string_view value) {
  if (!Fits(PLINTH_SETTING_SQL, {{name, '"'}, {value, '"'}})) return std::nullopt;
  const std::string quoted_name = DoubleQuotes(name, '"');
  std::optional<std::string> sql =
      Built(str_fmt(PLINTH_SETTING_SQL, quoted_name.c_str(), DoubleQuotes(value, '"').c_str()));
  if (!sql) return std::nullopt;
  const std::string_view shown = IsKeySetting(std::string(name)) ? kMasked : value;
  return SqlStatement{std::move(*sql), str_fmt(PLINTH_SETTING_SQL, quoted_name.c_str(),
                                               DoubleQuotes(shown, '"').c_str())};
}

std::optional<std::string> AttachStatement(std::string_view path, std::string_view schema,
                                           std::optional<std::string_view> key) {
  if (!key) {
    if (!Fits(PLINTH_ATTACH_SQL, {{path, '\''}, {schema, '\0'}})) return std::nullopt;
    return Built(
        str_fmt(PLINTH_ATTACH_SQL, DoubleQuotes(path, '\'').c_str(), std::string(schema).c_str()));
  }
  if (!Fits(PLINTH_ATTACH_KEY_SQL, {{path, '\''}, {schema, '\0'}, {*key, '\''}})) {
    return std::nullopt;
  }
  return Built(str_fmt(PLINTH_ATTACH_KEY_SQL, DoubleQuotes(path, '\'').c_str(),
                       std::string(schema).c_str(), DoubleQuotes(*key, '\'').c_str()));
}

std::optional<CSecretText> RawKeyAttachStatement(std::string_view path, std::string_view schema,
                                                 const CSecretText& raw) {
  return SecretFormatted(PLINTH_ATTACH_KEY_SQL, {{path, '\''}, {schema, '\0'}, {raw.view(), '\''}});
}

}  // namespace plinth
