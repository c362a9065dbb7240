// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/SqlSplitter.h"

#include <algorithm>
#include <cstring>

#include "Common/AsciiCase.h"
#include "Common/SqlScan.h"

namespace plinth {
namespace {

// sqlite3_complete's tokens and the states it passes through on them: 0 at
// the start, 1 after a statement's ";", 2 in a statement, 3 after EXPLAIN, 4
// after CREATE, 5 in a trigger, 6 after a ";" in a trigger, 7 after END.
enum Token { kSemi, kWs, kOther, kExplain, kCreate, kTemp, kTrigger, kEnd };
constexpr unsigned char kTransitions[8][8] = {
    // ;   ws other explain create temp trigger end
    {1, 0, 2, 3, 4, 2, 2, 2},  // 0 at the start
    {1, 1, 2, 3, 4, 2, 2, 2},  // 1 a statement ended
    {1, 2, 2, 2, 2, 2, 2, 2},  // 2 in a statement
    {1, 3, 3, 2, 4, 2, 2, 2},  // 3 after EXPLAIN
    {1, 4, 2, 2, 2, 4, 5, 2},  // 4 after CREATE
    {6, 5, 5, 5, 5, 5, 5, 5},  // 5 in a trigger
    {6, 6, 5, 5, 5, 5, 5, 7},  // 6 after a ";" in a trigger
    {1, 7, 5, 5, 5, 5, 5, 5},  // 7 after the trigger's END
};
constexpr unsigned char kEnded = 1;

// sqlite3_complete's whitespace, and the bytes that begin a run of whitespace
// for SQLite's tokenizer. Not the vertical tab: sqlite3_complete takes it for
// a token; SQLite skips it within a run of whitespace and after a statement
// that ran (sqlite3_exec skips all whitespace there), and elsewhere fails on
// it as an unrecognized token.
bool IsCompleteBlank(char c) {
  return c == ' ' || c == '\r' || c == '\t' || c == '\n' || c == '\f';
}

std::size_t LineFeeds(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The offset of the first `c` in `text` at or after `pos`; text.size() when
// none.
std::size_t Find(std::string_view text, std::size_t pos, char c) {
  const void* found = std::memchr(text.data() + pos, c, text.size() - pos);
  return found == nullptr ? text.size()
                          : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

}  // namespace

void CSqlSplitter::Reader::Apply(int token) {
  state_ = kTransitions[state_][token];
  cut_state_ = kTransitions[cut_state_][token];
}

int CSqlSplitter::Reader::WordToken() const {
  const std::string_view word(word_, std::min(word_size_, sizeof word_));
  switch (word_size_) {
    case 3:
      return word == "end" ? kEnd : kOther;
    case 4:
      return word == "temp" ? kTemp : kOther;
    case 6:
      return word == "create" ? kCreate : kOther;
    case 7:
      return word == "trigger" ? kTrigger : word == "explain" ? kExplain : kOther;
    case 9:
      return word == "temporary" ? kTemp : kOther;
    default:
      return kOther;
  }
}

bool CSqlSplitter::Reader::EndsComplete() const {
  switch (mode_) {
    case Mode::kCode:
    case Mode::kLineComment:
      return state_ == kEnded;
    case Mode::kWord:
      return kTransitions[state_][WordToken()] == kEnded;
    case Mode::kSlash:
    case Mode::kDash:
      return kTransitions[state_][kOther] == kEnded;
    default:  // in a literal, a quoted name or a block comment
      return false;
  }
}

CSqlSplitter::Reader::Event CSqlSplitter::Reader::Next(std::string_view text, std::size_t* pos,
                                                       std::size_t* at) {
  std::size_t i = *pos;
  // A token begins at `start`: a statement too, unless one has begun.
  const auto token_begins = [&](std::size_t start) {
    if (begun_) return false;
    begun_ = true;
    *at = start;
    return true;
  };
  while (i < text.size()) {
    const char c = text[i];
    switch (mode_) {
      case Mode::kQuote:
        i = Find(text, i, close_);
        if (i < text.size()) {
          ++i;
          mode_ = Mode::kCode;
          Apply(kOther);
        }
        break;
      case Mode::kLineComment:
        i = Find(text, i, '\n');
        if (i < text.size()) {
          ++i;
          mode_ = Mode::kCode;
          space_run_ = true;  // the line feed is not the comment's
        }
        break;
      case Mode::kBlockComment:
        i = Find(text, i, '*');
        if (i < text.size()) {
          ++i;
          mode_ = Mode::kBlockStar;
        }
        break;
      case Mode::kBlockStar:
        ++i;
        if (c == '/') {
          mode_ = Mode::kCode;
        } else if (c != '*') {
          mode_ = Mode::kBlockComment;
        }
        break;
      case Mode::kSlash:
      case Mode::kDash:
        if (c == (mode_ == Mode::kSlash ? '*' : '-')) {
          ++i;
          mode_ = mode_ == Mode::kSlash ? Mode::kBlockComment : Mode::kLineComment;
          if (tentative_) {
            tentative_ = false;
            begun_ = false;
            *pos = i;
            return Event::kNotBegun;
          }
        } else {
          // A token of its own; `c` is read again as code.
          mode_ = Mode::kCode;
          tentative_ = false;
          Apply(kOther);
        }
        break;
      case Mode::kWord:
        if (IsIdByte(c)) {
          if (word_size_ < sizeof word_) word_[word_size_] = AsciiLower(c);
          ++word_size_;
          ++i;
        } else {
          mode_ = Mode::kCode;
          Apply(WordToken());
        }
        break;
      case Mode::kCode:
        ++i;
        if (c == '\v' && (space_run_ || after_end_)) {
          // Whitespace to SQLite, a token to sqlite3_complete.
          state_ = kTransitions[state_][kOther];
          break;
        }
        if (IsCompleteBlank(c)) {
          space_run_ = true;
          break;
        }
        space_run_ = after_end_ = false;
        if (c == ';') {
          Apply(kSemi);
          if (begun_ && cut_state_ == kEnded) {
            begun_ = false;
            after_end_ = true;
            *pos = *at = i;
            return Event::kEnd;
          }
          break;
        }
        if (c == '/' || c == '-') {
          mode_ = c == '/' ? Mode::kSlash : Mode::kDash;
          tentative_ = !begun_;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
          mode_ = Mode::kQuote;
          close_ = c == '[' ? ']' : c;
        } else if (IsIdByte(c)) {
          mode_ = Mode::kWord;
          word_[0] = AsciiLower(c);
          word_size_ = 1;
        } else {
          Apply(kOther);
        }
        if (token_begins(i - 1)) {
          *pos = i;
          return Event::kBegin;
        }
        break;
    }
  }
  *pos = i;
  return Event::kNone;
}

void CSqlSplitter::Add(std::string_view piece) {
  constexpr std::size_t kNone = std::string_view::npos;
  // piece[keep_from..] is held; before it, piece[drop_from..] is dropped.
  std::size_t keep_from = reader_.begun() || complete_ > 0 ? 0 : kNone;
  std::size_t drop_from = 0;
  const auto held_at = [&](std::size_t i) { return held_.size() + i - keep_from; };
  for (std::size_t pos = 0, at = 0; pos < piece.size();) {
    switch (reader_.Next(piece, &pos, &at)) {
      case Reader::Event::kBegin:
        if (keep_from == kNone) {
          line_feeds_ += LineFeeds(piece.substr(drop_from, at - drop_from));
          keep_from = at;
        }
        begin_ = held_at(at);
        break;
      case Reader::Event::kNotBegun:
        // The "/" or "-" held is a comment's start, with no line feed.
        if (complete_ == 0) {
          held_.clear();
          keep_from = kNone;
          drop_from = pos;
        }
        break;
      case Reader::Event::kEnd:
        complete_ = held_at(at);
        break;
      case Reader::Event::kNone:
        break;
    }
  }
  if (keep_from != kNone) {
    held_.append(piece.substr(keep_from));
  } else {
    line_feeds_ += LineFeeds(piece.substr(drop_from));
  }
}

bool CSqlSplitter::TakeComplete(ScriptPart* part) {
  if (complete_ == 0) return false;
  const std::size_t rest = reader_.begun() ? begin_ : held_.size();
  std::string pending = held_.substr(rest);
  part->line_feeds_before = line_feeds_;
  line_feeds_ += LineFeeds(std::string_view(held_).substr(0, rest));
  held_.resize(complete_);
  part->text.swap(held_);
  held_.swap(pending);
  complete_ = begin_ = 0;
  return true;
}

bool CSqlSplitter::TakeRest(ScriptPart* part) {
  const std::size_t end = reader_.begun() ? held_.size() : complete_;
  if (end == 0) return false;
  part->line_feeds_before = line_feeds_;
  line_feeds_ += LineFeeds(held_);
  held_.resize(end);
  part->text.swap(held_);
  held_.clear();
  complete_ = begin_ = 0;
  return true;
}

bool CSqlSplitter::EndsCompleteAfter(std::string_view more) const {
  Reader reader = reader_;
  for (std::size_t pos = 0, at = 0; pos < more.size();) reader.Next(more, &pos, &at);
  return reader.EndsComplete();
}

std::size_t CSqlSplitter::FirstStatementEnd(std::string_view text) {
  Reader reader;
  std::size_t pos = 0;
  std::size_t at = 0;
  while (pos < text.size()) {
    if (reader.Next(text, &pos, &at) == Reader::Event::kEnd) return at;
  }
  return std::string_view::npos;
}

}  // namespace plinth
