// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Common/SqlSplitter.h"

namespace plinth {
namespace {

// Texts on whose every prefix the splitter must answer as sqlite3_complete.
const char* const kTexts[] = {
    "SELECT 1; SELECT 2;",
    " ; ;\t\r\n\f;",
    "SELECT 1;\v",
    "SELECT 1;\v;",
    "SELECT 'a;b''c;' || \"d;\" || `e;` || [f;g]; x",
    "SELECT 1 -- c;\n; /* ; */ /*/ ; */ ; /**/;",
    "SELECT 1 - -1 / 2 -- x\n;--",
    "SELECT 1; -- end",
    "/* unclosed ; ",
    "[a;",
    "'it''s';",
    "CREATE TRIGGER t AFTER INSERT ON x BEGIN SELECT 1; SELECT 2; END; SELECT 3;",
    "create temp trigger t begin select 1;\n end ;",
    "CREATE TEMPORARY TRIGGER t BEGIN SELECT CASE WHEN 1 THEN 2 END; END;",
    "CREATE TRIGGER t BEGIN SELECT 1 END; END;",
    "CREATE TRIGGER t BEGIN SELECT 1; ENDx; END;",
    "CREATE TEMP TEMP TRIGGER a; end;",
    "CREATE TEMPORARY x; CREATE TABLE trigger(end); CREATE x TRIGGER; end;",
    "EXPLAIN CREATE TRIGGER x BEGIN SELECT 1; END;",
    "EXPLAIN QUERY PLAN CREATE TRIGGER x; END; EXPLAIN SELECT 1;",
    "explain; EXPLAIN explain; createx trigger; temporaryx;",
    "CREATE TRIGGER t BEGIN SELECT 1; /* c */ END -- c\n;",
    "$a; _b; 9c; \xC3\xA9; \x01; @d;",
    "SELECT 'unterminated; SELECT 2;",
};

// sqlite3_complete's answer on each prefix of `text`, as a string of 0 and 1.
std::string CompleteAnswers(const std::string& text) {
  std::string answers;
  for (std::size_t n = 0; n <= text.size(); ++n) {
    answers += sqlite3_complete(text.substr(0, n).c_str()) != 0 ? '1' : '0';
  }
  return answers;
}

// The splitter's answers on each prefix of `text`, fed a byte at a time.
std::string SplitterAnswers(const std::string& text) {
  CSqlSplitter splitter;
  std::string answers(1, splitter.EndsComplete() ? '1' : '0');
  ScriptPart part;
  for (const char c : text) {
    splitter.Add(std::string_view(&c, 1));
    splitter.TakeComplete(&part);
    answers += splitter.EndsComplete() ? '1' : '0';
  }
  return answers;
}

// Whether the text so far ends complete, after every byte: as sqlite3_complete
// says, on the texts above and on texts made of their tricky fragments.
TEST(SqlSplitter, EndsCompleteAsSqliteCompleteSays) {
  for (const char* text : kTexts) {
    EXPECT_EQ(SplitterAnswers(text), CompleteAnswers(text)) << text;
  }
  const char* const fragments[] = {
      ";",       " ",   "\n",       "\v",     "x",       "'",    "\"",   "`",
      "[",       "]",   "-",        "--",     "/",       "/*",   "*/",   "*",
      "END",     "end", "ENDx",     "CREATE", "TRIGGER", "TEMP", "Temp", "TEMPORARY",
      "EXPLAIN", "(",   "\xC3\xA9", "BEGIN",  "CASE",    "1",    "$",    "trigger"};
  std::uint32_t seed = 17;
  const auto next = [&seed](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (std::uint32_t k = 1 + next(14); k > 0; --k) {
      text += fragments[next(sizeof fragments / sizeof fragments[0])];
    }
    ASSERT_EQ(SplitterAnswers(text), CompleteAnswers(text)) << text;
  }
}

// Asked how the text would end with more added, the splitter answers as
// sqlite3_complete does on the whole, and adds nothing.
TEST(SqlSplitter, EndsCompleteAfterAsksWithoutAdding) {
  for (const char* text : kTexts) {
    for (const char* more : {"", "\n;", "*/\n;", "'", "END;"}) {
      CSqlSplitter splitter;
      splitter.Add(text);
      const std::size_t held = splitter.held();
      EXPECT_EQ(splitter.EndsCompleteAfter(more),
                sqlite3_complete((std::string(text) + more).c_str()) != 0)
          << text << more;
      EXPECT_EQ(splitter.held(), held);
      EXPECT_EQ(splitter.EndsComplete(), sqlite3_complete(text) != 0) << text;
    }
  }
}

// The parts of `text` taken after each piece of `piece` bytes, and the rest at
// the end, each as "<line feeds before>|<text>".
std::vector<std::string> Parts(std::string_view text, std::size_t piece) {
  CSqlSplitter splitter;
  std::vector<std::string> parts;
  ScriptPart part;
  for (std::size_t at = 0; at < text.size(); at += piece) {
    splitter.Add(text.substr(at, piece));
    if (splitter.TakeComplete(&part)) {
      parts.push_back(std::to_string(part.line_feeds_before) + "|" + part.text);
    }
  }
  if (splitter.TakeRest(&part)) {
    parts.push_back(std::to_string(part.line_feeds_before) + "|" + part.text);
  }
  return parts;
}

// Statements are cut at their ends wherever the pieces are cut; the blanks and
// comments before a statement are dropped, their line feeds counted.
TEST(SqlSplitter, CutsStatementsAtTheirEnds) {
  struct Case {
    std::string text;
    std::vector<std::string> parts;  // read a byte at a time
    std::vector<std::string> whole;  // read in one piece
  };
  const Case cases[] = {
      {"SELECT 1;\n\n-- c;\nSELECT 2;",
       {"0|SELECT 1;", "3|SELECT 2;"},
       {"0|SELECT 1;\n\n-- c;\nSELECT 2;"}},
      {"\n/* a\n; */ ;\n- 1;\n", {"3|- 1;"}, {"3|- 1;"}},
      {"/ 2;/**/-- x\n/", {"0|/ 2;", "1|/"}, {"0|/ 2;", "1|/"}},
      {"SELECT 'a;\nb';\n\nSELECT [c;\n]",
       {"0|SELECT 'a;\nb';", "3|SELECT [c;\n]"},
       {"0|SELECT 'a;\nb';", "3|SELECT [c;\n]"}},
      {"CREATE TRIGGER t BEGIN\n SELECT 1;\n SELECT CASE 1 WHEN 1 THEN 2 END;\nEND;\nSELECT 3",
       {"0|CREATE TRIGGER t BEGIN\n SELECT 1;\n SELECT CASE 1 WHEN 1 THEN 2 END;\nEND;",
        "4|SELECT 3"},
       {"0|CREATE TRIGGER t BEGIN\n SELECT 1;\n SELECT CASE 1 WHEN 1 THEN 2 END;\nEND;",
        "4|SELECT 3"}},
      // A vertical tab is whitespace to SQLite after a statement's end and
      // in a run of whitespace; elsewhere a token it fails on.
      {"SELECT 1;\v\n \v-- c\n\vSELECT 2;",
       {"0|SELECT 1;", "2|SELECT 2;"},
       {"0|SELECT 1;\v\n \v-- c\n\vSELECT 2;"}},
      {"SELECT 1; /**/\v", {"0|SELECT 1;", "0|\v"}, {"0|SELECT 1;", "0|\v"}},
      {"SELECT 'open;\n\n", {"0|SELECT 'open;\n\n"}, {"0|SELECT 'open;\n\n"}},
      {"SELECT 1; -- c", {"0|SELECT 1;"}, {"0|SELECT 1;"}},
      {"-- only\n/* comments */\n\n", {}, {}},
      {"", {}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parts(c.text, 1), c.parts) << c.text;
    EXPECT_EQ(Parts(c.text, c.text.size() + 1), c.whole) << c.text;
  }
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// What is held stays within the longest statement and a piece, whatever the
// script's size: comments and blank text are not kept, nor is a statement's
// text once taken; the line feeds dropped are counted.
TEST(SqlSplitter, HoldsNoMoreThanAStatementAndAPiece) {
  constexpr std::size_t kPiece = 4096;
  const std::string row = "INSERT INTO t VALUES('" + std::string(300, ';') + "');\n";
  const std::string trigger = "CREATE TRIGGER t BEGIN SELECT CASE 1 WHEN 1 THEN ';' END; END;\n";
  const struct {
    const char* name;
    std::string script;
    std::size_t longest;
    std::size_t line_feeds_before_last;
  } cases[] = {
      {"rows whose strings hold ;", Repeated(row, 2000), row.size(), 1999},
      {"trigger bodies", Repeated(trigger, 2000), trigger.size(), 1999},
      {"a flood of comments",
       Repeated("-- a comment; of a flood\n/* and; another */\n", 4000) + "SELECT 1;", 9, 8000},
      {"blank lines", std::string(std::size_t{1} << 20, '\n') + "SELECT 1;", 9,
       std::size_t{1} << 20},
  };
  for (const auto& c : cases) {
    CSqlSplitter splitter;
    ScriptPart part;
    std::size_t most = 0;
    for (std::size_t at = 0; at < c.script.size(); at += kPiece) {
      splitter.Add(std::string_view(c.script).substr(at, kPiece));
      most = std::max(most, splitter.held());
      splitter.TakeComplete(&part);
    }
    EXPECT_LE(most, c.longest + kPiece) << c.name;
    EXPECT_TRUE(splitter.EndsComplete()) << c.name;
    // The last statement's line.
    EXPECT_EQ(part.line_feeds_before +
                  static_cast<std::size_t>(std::count(part.text.begin(), part.text.end(), '\n')),
              c.line_feeds_before_last)
        << c.name;
    EXPECT_FALSE(splitter.TakeRest(&part)) << c.name;
  }
}

TEST(SqlSplitter, FirstStatementEndIsTheFirstSemicolonThatEndsOne) {
  EXPECT_EQ(CSqlSplitter::FirstStatementEnd("SELECT 1; SELECT 2;"), 9u);
  EXPECT_EQ(CSqlSplitter::FirstStatementEnd("SELECT ';' -- ;\n;"), 17u);
  EXPECT_EQ(CSqlSplitter::FirstStatementEnd("CREATE TRIGGER t BEGIN SELECT 1; END; x;"), 37u);
  EXPECT_EQ(CSqlSplitter::FirstStatementEnd("SELECT 'a;"), std::string_view::npos);
  EXPECT_EQ(CSqlSplitter::FirstStatementEnd("SELECT 1"), std::string_view::npos);
}

}  // namespace
}  // namespace plinth
