// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common/SqlScan.h"

namespace plinth {
namespace {

TEST(SqlScan, StatementBeginSkipsBlanksCommentsAndEmptyStatements) {
  struct Case {
    std::string text;
    std::size_t from;
    std::size_t begin;
  };
  const Case cases[] = {
      {"SELECT 1;", 0, 0},
      {" \t\r\n\v\fSELECT 1;", 0, 6},
      {"-- a comment\nSELECT 1;", 0, 13},
      {"/* a; comment */SELECT 1;", 0, 16},
      {"; ;\n-- x\n; /**/ SELECT 1;", 0, 16},
      {"SELECT 1; -- next\n  SELECT 2;", 9, 20},
      {"- 1", 0, 0},    // a minus, not a comment
      {"/ * x", 0, 0},  // a slash, not a comment
      {"-- to the end", 0, 13},
      {"/* unclosed ; SELECT 1;", 0, 23},
      {"   ", 0, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatementBegin(c.text, c.from), c.begin) << c.text;
  }
}

TEST(SqlScan, TokensAreWordsQuotedTextsOrSingleBytes) {
  const std::string text =
      "PRAGMA \"ma\"\"in\" . [k ey]=/* c */'it''s' `b` x'00' \xC3\xA9t\xC3\xA9_1$;'open";
  std::vector<std::string> tokens;
  std::size_t pos = 0;
  for (std::string_view t = NextToken(text, pos); !t.empty(); t = NextToken(text, pos)) {
    tokens.emplace_back(t);
  }
  EXPECT_EQ(tokens,
            (std::vector<std::string>{"PRAGMA", "\"ma\"\"in\"", ".", "[k ey]", "=", "'it''s'",
                                      "`b`", "x", "'00'", "\xC3\xA9t\xC3\xA9_1$", ";", "'open"}));
  EXPECT_EQ(Unquoted("\"ma\"\"in\""), "ma\"in");
  EXPECT_EQ(Unquoted("[k ey]"), "k ey");
  EXPECT_EQ(Unquoted("'it''s'"), "it's");
  EXPECT_EQ(Unquoted("'open"), "open");
  EXPECT_EQ(Unquoted("word"), "word");
}

TEST(SqlScan, LineOfCountsTheLineFeedsBefore) {
  const std::string text = "a\r\nb\n\nc";
  EXPECT_EQ(LineOf(text, 0), 1u);
  EXPECT_EQ(LineOf(text, 2), 1u);  // the carriage return's line
  EXPECT_EQ(LineOf(text, 3), 2u);
  EXPECT_EQ(LineOf(text, 5), 3u);
  EXPECT_EQ(LineOf(text, 6), 4u);
}

TEST(SqlScan, PreviewShowsTheFirstCharactersWhole) {
  const std::string e_acute = "\xC3\xA9";
  std::string accents;
  for (int i = 0; i < 6; ++i) accents += e_acute;
  struct Case {
    std::string statement;
    std::size_t max;
    std::string preview;
  };
  const Case cases[] = {
      {"SELECT 1;", 9, "SELECT 1;"},
      {"SELECT 1;", 8, "SELECT 1..."},
      {"SELECT 1 \n\t ", 9, "SELECT 1"},
      {"SELECT\n1;", 20, "SELECT\n1;"},  // the log escapes control characters
      {accents, 5, e_acute + e_acute + e_acute + e_acute + e_acute + "..."},
      {accents, 6, accents},
      {"", 5, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Preview(c.statement, c.max), c.preview) << c.statement;
  }
}

}  // namespace
}  // namespace plinth
