// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// An SQL script read in pieces and cut where its statements end, as
// sqlite3_complete decides: at a ";" outside string literals, quoted names and
// comments, and outside the body of a CREATE [TEMP | TEMPORARY] TRIGGER (after
// EXPLAIN too), which ends only at an END that follows a ";". The text is read
// once, in one pass: where the reading stands (inside a literal, a comment or
// a word; sqlite3_complete's state) is kept from one piece to the next, so
// a statement's end is found in time linear in the script, wherever the
// pieces are cut.
#ifndef PLINTH_COMMON_SQLSPLITTER_H_
#define PLINTH_COMMON_SQLSPLITTER_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace plinth {

// A stretch of a script: its text and how many line feeds the script holds
// before it (its first line is that count plus one).
struct ScriptPart {
  std::string text;
  std::size_t line_feeds_before = 0;
};

// Cuts a script handed over in pieces into its complete statements.
//
// What is held is the text of statements not yet taken: the blanks, comments
// and empty statements (";") before a statement are dropped as they are read,
// and so is what follows the last complete statement when it is taken, unless
// a statement has begun there. A caller that takes the complete statements
// after each piece holds at most its longest statement and about one piece,
// whatever the size of the script or of its comments.
//
// Running the parts taken, one after the other, runs what sqlite3_exec runs on
// the whole text: only blanks and comments between statements, which SQLite
// skips, are left out. For that, a vertical tab is taken as SQLite takes it
// where it decides where a statement begins: as whitespace within a run of
// whitespace and after a statement's end (sqlite3_complete takes it for a
// token, and answers EndsComplete so).
class CSqlSplitter {
 public:
  // Reads `piece`, the text that follows all that was added before.
  void Add(std::string_view piece);

  // Moves the complete statements held into `*part`: the text from the first
  // byte of the first of them to the ";" that ends the last (the blanks and
  // comments between them kept), and the line feeds of the script before it.
  // False, `*part` untouched, when no statement is complete.
  bool TakeComplete(ScriptPart* part);

  // Once the script has been added whole: moves all that is held into
  // `*part`, the complete statements and a last statement that has not ended
  // (no ";", an unclosed literal or comment). False, `*part` untouched, when
  // nothing but blanks and comments is held. Nothing may be added after it.
  bool TakeRest(ScriptPart* part);

  // True when the text added so far ends with a complete statement:
  // sqlite3_complete's answer on the whole of it.
  bool EndsComplete() const { return reader_.EndsComplete(); }

  // EndsComplete's answer were `more` added, without adding it: only where the
  // reading stands is copied, not the text held.
  bool EndsCompleteAfter(std::string_view more) const;

  // The bytes held.
  std::size_t held() const { return held_.size(); }

  // The length of `text` up to the ";" that ends its first statement, read
  // from the start as sqlite3_complete reads it; std::string_view::npos when
  // no statement of `text` ends.
  static std::size_t FirstStatementEnd(std::string_view text);

 private:
  // sqlite3_complete's reading, one piece after another.
  class Reader {
   public:
    enum class Event { kNone, kBegin, kNotBegun, kEnd };
    // Reads `text` from `*pos` up to its next event, or its end (kNone), and
    // leaves `*pos` after it. kBegin: a statement begins at `*at` (for a "/"
    // or a "-" not yet known to begin a comment: may begin); kNotBegun: what
    // may have begun was a comment's start; kEnd: a statement ends before
    // `*at` (its ";" included).
    Event Next(std::string_view text, std::size_t* pos, std::size_t* at);
    bool EndsComplete() const;
    bool begun() const { return begun_; }

   private:
    enum class Mode : unsigned char {
      kCode,          // between tokens
      kWord,          // in a word
      kQuote,         // in a literal or quoted name, up to close_
      kLineComment,   // after "--"
      kBlockComment,  // after "/*"
      kBlockStar,     // after a "*" in a block comment
      kSlash,         // after a "/" in code: a comment or a token
      kDash,          // after a "-" in code: a comment or a token
    };
    void Apply(int token);
    int WordToken() const;

    Mode mode_ = Mode::kCode;
    char close_ = '\0';
    unsigned char state_ = 0;      // sqlite3_complete's
    unsigned char cut_state_ = 0;  // the same, a vertical tab read as SQLite reads it
    bool space_run_ = false;       // in a run of whitespace, for SQLite's tokenizer
    bool after_end_ = false;       // only whitespace since a statement's end
    char word_[9] = {};            // a word's first bytes, in lower case
    std::size_t word_size_ = 0;
    bool begun_ = false;      // a statement has begun and not ended
    bool tentative_ = false;  // ... at a "/" or "-" that may begin a comment
  };

  Reader reader_;
  std::string held_;
  std::size_t complete_ = 0;    // held_'s complete statements end here
  std::size_t begin_ = 0;       // where in held_ the statement begun begins
  std::size_t line_feeds_ = 0;  // of the script before held_
};

}  // namespace plinth

#endif  // PLINTH_COMMON_SQLSPLITTER_H_
