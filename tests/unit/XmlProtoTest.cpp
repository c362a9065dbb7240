// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Element paths, counts, texts, integers and attributes of the XML document.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "XmlProto.h"

namespace {

// Items and Others interleave, with a comment and a processing instruction
// named like them in between, so that an index must count same-named
// elements only.
const char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<R>\n"
    "  <Item>first</Item>\n"
    "  <!--Item-->\n"
    "  <Other>o1</Other>\n"
    "  <Item>second</Item>\n"
    "  <?Item pi?>\n"
    "  <Other>o2</Other>\n"
    "  <Item>third</Item>\n"
    "  <Group><Path>a</Path><Path>b</Path></Group>\n"
    "  <Group><Path>c</Path></Group>\n"
    "  <Prod\xC3\xBCkt><SQLite><Schema>main</Schema></SQLite></Prod\xC3\xBCkt>\n"
    "  <Empty/>\n"
    "  <Blanks>  padded \t</Blanks>\n"
    "  <Spaces>   </Spaces>\n"
    "  <Cdata><![CDATA[<raw> & ]]]></Cdata>\n"
    "  <Escaped>a &lt; b &amp; c</Escaped>\n"
    "  <Config PRAGMA=\"journal_mode\" VALUE=\"WAL\"/>\n"
    "  <Config PRAGMA=\"key\" VALUE=\"\"/>\n"
    "</R>\n";

class XmlProtoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(xml_.Parse(kDocument)); }
  proto::CXmlProto xml_;
};

TEST_F(XmlProtoTest, TextSelectsByNameAndIndex) {
  const struct {
    std::string path;
    std::string text;
  } cases[] = {
      {"/R/Item", "first"},
      {"/R/Item[1]", "first"},
      {"/R/Item[2]", "second"},
      {"/R/Item[3]", "third"},
      {"/R/Other[2]", "o2"},
      {"/R[1]/Item[2]", "second"},
      {"/R/Group/Path[2]", "b"},
      {"/R/Group[2]/Path", "c"},
      {"/R/Prod\xC3\xBCkt/SQLite/Schema", "main"},
      // Present without text, or with text that is kept exactly.
      {"/R/Empty", ""},
      {"/R/Group", ""},
      {"/R/Blanks", "  padded \t"},
      {"/R/Spaces", "   "},
      {"/R/Cdata", "<raw> & ]"},
      {"/R/Escaped", "a < b & c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xml_.GetNodeText(c.path, "def"), c.text) << c.path;
  }
}

// Paths that select nothing: missing elements, malformed steps, and steps
// with characters that a query language would read as syntax.
const char* const kMissingPaths[] = {
    "/R/Item[4]", "/R/Missing", "/R/Missing/Path", "/R/Group[3]/Path", "/R/Group/Path[3]",
    "/R/item", "/Other/Item", "/R[2]/Item", "/R/Item/Item",
    // Malformed paths and indexes.
    "", "/", "R/Item", "//Item", "/R//Item", "/R/Item/", "/R/Item[0]", "/R/Item[-1]", "/R/Item[+1]",
    "/R/Item[ 1]", "/R/Item[x]", "/R/Item[abc]", "/R/Item[]", "/R/Item[1", "/R/Item[1x",
    "/R/Item[1]x", "/R/Item[1][1]", "/R/Item[99999999999999999999999]", "/R/[1]",
    // Odd characters.
    "/R/*", "/R/.", "/R/Item/..", "/R/Item[last()]", "/R/Item | /R/Other", "/R/Item[@a]",
    "/R/It'em", "/R/Item\"", "/R/It em", "/R/Item]", "/R/Prod\xC3\xBC", "/R/Prod\xC3\xBCkt\xC3"};

TEST_F(XmlProtoTest, MissingOrMalformedPathAnswersDefault) {
  for (const char* path : kMissingPaths) {
    EXPECT_EQ(xml_.GetNodeText(path, "def"), "def") << path;
    EXPECT_EQ(xml_.GetNodeInt(path, -7), -7) << path;
    EXPECT_EQ(xml_.GetNodeAttribute(path, "PRAGMA", "def"), "def") << path;
  }
}

TEST_F(XmlProtoTest, NameWithNulByteDoesNotMatchItsPrefix) {
  const std::string path("/R/Item\0x", 9);
  EXPECT_EQ(xml_.GetNodeText(path, "def"), "def");
  EXPECT_EQ(xml_.GetNodeCount(path), 0);
  EXPECT_EQ(xml_.GetNodeAttribute("/R/Config", std::string("PRAGMA\0x", 8), "def"), "def");
}

TEST_F(XmlProtoTest, CountsElementsOfLastStep) {
  const struct {
    std::string path;
    int count;
  } cases[] = {
      {"/R/Item", 3},
      {"/R/Other", 2},
      {"/R/Config", 2},
      {"/R/Group/Path", 2},
      {"/R/Group[2]/Path", 1},
      {"/R/Prod\xC3\xBCkt", 1},
      {"/R", 1},
      {"/R/Missing", 0},
      {"/R/Empty/Path", 0},
      {"/R/Group[3]/Path", 0},
      {"/R/Missing/Path", 0},
      {"/Other", 0},
      {"/Other/Item", 0},
      {"/R/*", 0},
      {"", 0},
      {"/R/Item[0]", 0},
      // An indexed last step counts that one element.
      {"/R/Item[2]", 1},
      {"/R/Item[4]", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xml_.GetNodeCount(c.path), c.count) << c.path;
  }
}

TEST_F(XmlProtoTest, AttributeOrDefault) {
  const struct {
    std::string path;
    std::string name;
    std::string value;
  } cases[] = {
      {"/R/Config", "PRAGMA", "journal_mode"},
      {"/R/Config[1]", "VALUE", "WAL"},
      {"/R/Config[2]", "PRAGMA", "key"},
      {"/R/Config[2]", "VALUE", ""},
      {"/R/Config[2]", "value", "def"},
      {"/R/Config", "MISSING", "def"},
      {"/R/Config", "", "def"},
      {"/R/Config[3]", "PRAGMA", "def"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xml_.GetNodeAttribute(c.path, c.name, "def"), c.value) << c.path << " @" << c.name;
  }
}

// The document steps on from the element it resolved last. Whatever came
// before, each answer must be the one a fresh document gives: after a count,
// after a miss, with the index going down, under another parent at the same
// depth and between queries of other names.
TEST(XmlProtoRunTest, AnswerDoesNotDependOnEarlierQueries) {
  const std::string text =
      "<R><G><P>a</P><X>x1</X><P>b</P><P>c</P></G><X>x2</X><G><P>d</P></G><G/>"
      "<G><X>x3</X><P>e</P><P>f</P></G></R>";
  // "#" asks for a count, anything else for a text.
  const std::string run[] = {
      "#/R/G",        "/R/G[1]/P[1]", "/R/G[1]/P[2]", "/R/G[1]/P[3]",  "/R/G[1]/P[4]",
      "/R/G[1]/P[2]", "/R/G[1]/P[3]", "/R/G[1]/P[1]", "/R/G[2]/P[1]",  "/R/G[4]/P[2]",
      "/R/G[1]/P[3]", "/R/G[1]/X",    "/R/G[1]/P[2]", "/R/X",          "/R/G[4]/P[1]",
      "/R/G/P[3]",    "/R/G[3]/P[1]", "/R/G[3]/P",    "/R/G[4]/P",     "#/R/G[4]/P",
      "/R/G[4]/P[2]", "#/R/G[5]",     "/R/G[4]/P[1]", "/R/G[9]/P[1]",  "/R/G[4]/P[2]",
      "/R/G[2]",      "/R/G[4]/X",    "/R/G[4]/P[2]", "#/R/G[1]/P[3]", "/R/G[1]/P[3]",
      "/R/G[1]/P[1]", "/R/G[1]/P",    "/R/G[1]/P[3]", "#/R/G[2]/P",    "/R/G[2]/P[1]"};
  proto::CXmlProto xml;
  ASSERT_TRUE(xml.Parse(text));
  for (const std::string& query : run) {
    proto::CXmlProto fresh;
    ASSERT_TRUE(fresh.Parse(text));
    if (query[0] == '#') {
      EXPECT_EQ(xml.GetNodeCount(query.substr(1)), fresh.GetNodeCount(query.substr(1))) << query;
    } else {
      EXPECT_EQ(xml.GetNodeText(query, "def"), fresh.GetNodeText(query, "def")) << query;
    }
  }
}

// The readers' loops: a count, then every index, nested one level; forwards
// and then backwards over the same document.
TEST(XmlProtoRunTest, NestedRunsOfIndexesSelectEveryElement) {
  std::string text = "<R><L>";
  for (int i = 1; i <= 40; ++i) {
    text += "<Plugin><Identify>p" + std::to_string(i) + "</Identify><Other/><SQLScript>";
    for (int j = 1; j <= i % 4; ++j) {
      text += "<Path>" + std::to_string(i) + "/" + std::to_string(j) + "</Path><Skip/>";
    }
    text += "</SQLScript></Plugin><Between/>";
  }
  text += "</L></R>";
  proto::CXmlProto xml;
  ASSERT_TRUE(xml.Parse(text));
  const int plugins = xml.GetNodeCount("/R/L/Plugin");
  ASSERT_EQ(plugins, 40);
  for (int pass = 0; pass < 2; ++pass) {
    for (int n = 1; n <= plugins; ++n) {
      const int i = pass == 0 ? n : plugins + 1 - n;
      const std::string plugin = "/R/L/Plugin[" + std::to_string(i) + "]";
      EXPECT_EQ(xml.GetNodeText(plugin + "/Identify", "def"), "p" + std::to_string(i));
      const int paths = xml.GetNodeCount(plugin + "/SQLScript/Path");
      ASSERT_EQ(paths, i % 4) << plugin;
      for (int j = 1; j <= paths; ++j) {
        EXPECT_EQ(xml.GetNodeText(plugin + "/SQLScript/Path[" + std::to_string(j) + "]", "def"),
                  std::to_string(i) + "/" + std::to_string(j));
      }
    }
  }
}

// A new document must not answer from elements remembered of the old one,
// even where its elements take the old ones' places in memory.
TEST(XmlProtoRunTest, ParseForgetsTheElementsResolvedBefore) {
  proto::CXmlProto xml;
  ASSERT_TRUE(xml.Parse("<R><I>1</I><I>2</I><I>3</I></R>"));
  ASSERT_EQ(xml.GetNodeText("/R/I[2]", "def"), "2");
  ASSERT_TRUE(xml.Parse("<R><I>4</I><I>5</I><I>6</I></R>"));
  EXPECT_EQ(xml.GetNodeText("/R/I[2]", "def"), "5");
  EXPECT_EQ(xml.GetNodeText("/R/I[3]", "def"), "6");
  EXPECT_FALSE(xml.Parse("<R><I>7</I>"));
  EXPECT_EQ(xml.GetNodeText("/R/I[3]", "def"), "def");
}

TEST(XmlProtoIntTest, AcceptsSignedDecimalWithBlanksOnly) {
  constexpr int kDef = -777;
  const struct {
    std::string text;
    int value;
  } cases[] = {
      {"0", 0},
      {"42", 42},
      {"-5", -5},
      {"+7", 7},
      {"007", 7},
      {"  12 \n", 12},
      {"\t-3\t", -3},
      {"<![CDATA[ 8 ]]>", 8},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", kDef},
      {"-2147483649", kDef},
      {"", kDef},
      {"   ", kDef},
      {"12abc", kDef},
      {"1.5", kDef},
      {"0x10", kDef},
      {"1e3", kDef},
      {"1 2", kDef},
      {"+-5", kDef},
      {"--5", kDef},
      {"+", kDef},
      {"-", kDef},
      {"- 5", kDef},
      {"abc", kDef},
  };
  for (const auto& c : cases) {
    proto::CXmlProto xml;
    ASSERT_TRUE(xml.Parse("<R><V>" + c.text + "</V></R>")) << c.text;
    EXPECT_EQ(xml.GetNodeInt("/R/V", kDef), c.value) << '"' << c.text << '"';
  }
}

TEST(XmlProtoParseTest, UnparsableTextAnswersEveryDefault) {
  // Each text holds /R/Item with text and an attribute before the fault, so
  // a partial tree left behind would answer.
  const std::string bad[] = {
      "<R><Item a=\"1\">5</Item>",
      "<R><Item a=\"1\">5</Item></Other>",
      "<R><Item a=\"1\">5</Item><</R>",
      "<R><Item a=\"1\">5</Item></R><R/>",
      "<R><Item a=\"1\">5</Item></R>junk",
      std::string("<R><Item a=\"1\">5") + '\0' + "x</Item></R>",
      "",
      "not xml",
  };
  for (const std::string& text : bad) {
    proto::CXmlProto xml;
    ASSERT_TRUE(xml.Parse("<R><Item a=\"2\">6</Item></R>"));
    EXPECT_FALSE(xml.Parse(text)) << text;
    EXPECT_EQ(xml.GetNodeCount("/R/Item"), 0) << text;
    EXPECT_EQ(xml.GetNodeCount("/R"), 0) << text;
    EXPECT_EQ(xml.GetNodeText("/R/Item", "def"), "def") << text;
    EXPECT_EQ(xml.GetNodeInt("/R/Item", -7), -7) << text;
    EXPECT_EQ(xml.GetNodeAttribute("/R/Item", "a", "def"), "def") << text;
  }
}

// Why a text is refused, with the byte offset of the fault.
TEST(XmlProtoParseTest, RefusalTellsTheReason) {
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {"<R><Item>5</Item>", "Start-end tags mismatch at offset 16"},
      {"<R><Item a=\"1>5</Item></R>", "Error parsing element attribute at offset 12"},
      {"<R/>junk", "text outside the root element"},
      {"<R/><R/>", "more than one root element"},
      {"", "no root element"},
      {"<!-- only a comment -->", "no root element"},
  };
  for (const auto& c : cases) {
    proto::CXmlProto xml;
    EXPECT_FALSE(xml.Parse(c.text)) << c.text;
    EXPECT_EQ(xml.GetParseError(), c.reason) << c.text;
    ASSERT_TRUE(xml.Parse("<R/>"));
    EXPECT_EQ(xml.GetParseError(), "");
  }
}

// UTF-16LE with a byte order mark, each character one unit.
std::string Utf16Le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) bytes += std::string{c, '\0'};
  return bytes;
}

// UTF-32 with a byte order mark.
std::string Utf32(const std::u32string& text, bool big_endian) {
  std::string bytes;
  for (char32_t unit : U"\uFEFF" + text) {
    for (int i = 0; i < 4; ++i) {
      bytes += static_cast<char>(unit >> (big_endian ? 24 - 8 * i : 8 * i) & 0xFF);
    }
  }
  return bytes;
}

// U+0000 is no XML character: as a character or as a reference that decodes
// to it, it makes the text unparsable wherever it stands, so that no value
// comes back cut at it.
TEST(XmlProtoParseTest, NulIsRefusedAsCharacterAndAsReference) {
  const std::string nul(1, '\0');
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {"<R a=\"ab" + nul + "cd\"/>", "NUL character at offset 8"},
      {"<R>ab" + nul + "cd</R>", "NUL character at offset 5"},
      {"<R/>" + nul, "NUL character at offset 4"},
      {" " + nul + "<R/>", "NUL character at offset 1"},
      {"<R a=\"ab&#0;cd\"/>", "character reference to NUL at offset 8"},
      {"<R>&#00000;</R>", "character reference to NUL at offset 3"},
      {"<R>&#x0;</R>", "character reference to NUL at offset 3"},
      {"<R>&#x0000;</R>", "character reference to NUL at offset 3"},
      {"<R>x&#xA;&#x00;</R>", "character reference to NUL at offset 9"},
      // The parser keeps the number modulo 2^32.
      {"<R>&#4294967296;</R>", "character reference to NUL at offset 3"},
      {"<R>&#x100000000;</R>", "character reference to NUL at offset 3"},
      // Where the parser would not decode it, it is refused all the same.
      {"<R><!-- &#0; --></R>", "character reference to NUL at offset 8"},
      {"<R><![CDATA[&#0;]]></R>", "character reference to NUL at offset 12"},
      // In UTF-16 a NUL is a unit of two zero bytes, at its byte offset.
      {Utf16Le("<R>") + nul + nul + Utf16Le("</R>").substr(2), "NUL character at offset 8"},
      {Utf16Le("<R>&#0;</R>"), "character reference to NUL at offset 8"},
  };
  for (const auto& c : cases) {
    proto::CXmlProto xml;
    EXPECT_FALSE(xml.Parse(c.text)) << c.text;
    EXPECT_EQ(xml.GetParseError(), c.reason) << c.text;
    EXPECT_EQ(xml.GetNodeAttribute("/R", "a", "def"), "def") << c.text;
  }
}

TEST(XmlProtoParseTest, TextsThatAreNotReferencesToNulParse) {
  const struct {
    std::string text;
    std::string value;
  } cases[] = {
      {"<R>&#48;&#x30;</R>", "00"},
      {"<R>&amp;#0;</R>", "&#0;"},
      {Utf16Le("<R>&#x41;</R>"), "A"},
  };
  for (const auto& c : cases) {
    proto::CXmlProto xml;
    ASSERT_TRUE(xml.Parse(c.text)) << c.text << ": " << xml.GetParseError();
    EXPECT_EQ(xml.GetNodeText("/R", "def"), c.value) << c.text;
  }
}

// A text that is not well-formed XML 1.0 is refused, though pugixml, which
// builds the tree, would take it (and keep the first of two attributes, or an
// undefined entity as text).
TEST(XmlProtoParseTest, TextsThatAreNotWellFormedAreRefused) {
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {"<R a=\"short\" a=\"long\"/>", "duplicate attribute at offset 13"},
      {"<R><C PRAGMA=\"key\" VALUE=\"a\" VALUE=\"b\"/></R>", "duplicate attribute at offset 29"},
      {"<R>a & b</R>", "not well-formed (invalid token) at offset 6"},
      {"<R a=\"x&y\"/>", "not well-formed (invalid token) at offset 9"},
      {"<R a=\"x<y\"/>", "not well-formed (invalid token) at offset 7"},
      {"<R>&undefined;</R>", "undefined entity at offset 3"},
      {"<R a=\"&undefined;\"/>", "undefined entity at offset 0"},
      // Malformed references, which pugixml keeps as text.
      {"<R>&#;</R>", "not well-formed (invalid token) at offset 5"},
      {"<R>&#x;</R>", "not well-formed (invalid token) at offset 6"},
      {"<R>&#X0;</R>", "not well-formed (invalid token) at offset 5"},
      {"<R>&#0</R>", "not well-formed (invalid token) at offset 6"},
      // No character of XML 1.0, as a byte or as a reference.
      {"<R>\x1B</R>", "not well-formed (invalid token) at offset 3"},
      {"<R>&#27;</R>", "reference to invalid character number at offset 3"},
      {"<R>\xC3</R>", "not well-formed (invalid token) at offset 3"},
      // A document type declaration, whatever it declares, where its name ends.
      {"<!DOCTYPE R><R/>", "document type declaration at offset 11"},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE R [<!ENTITY e \"x\">]><R>&e;</R>",
       "document type declaration at offset 34"},
      // In UTF-16 the offsets count bytes, the byte order mark's included.
      {Utf16Le("<R>&u;</R>"), "undefined entity at offset 8"},
      {Utf16Le("<!DOCTYPE R><R/>"), "document type declaration at offset 24"},
      {Utf32(U"<R>&u;</R>", false), "undefined entity at offset 16"},
      {Utf32(U"<R>\U0010FFFF" + std::u32string(1, char32_t{0x110000}) + U"</R>", true),
       "not well-formed (invalid token) at offset 20"},
  };
  for (const auto& c : cases) {
    proto::CXmlProto xml;
    EXPECT_FALSE(xml.Parse(c.text)) << c.text;
    EXPECT_EQ(xml.GetParseError(), c.reason) << c.text;
    EXPECT_EQ(xml.GetNodeCount("/R"), 0) << c.text;
  }
}

TEST(XmlProtoParseTest, LaterParseReplacesDocument) {
  proto::CXmlProto xml;
  ASSERT_TRUE(xml.Parse("<R><Old>1</Old></R>"));
  ASSERT_TRUE(xml.Parse("<S><New>2</New></S>"));
  EXPECT_EQ(xml.GetNodeText("/R/Old", "def"), "def");
  EXPECT_EQ(xml.GetNodeInt("/S/New", -1), 2);
}

// UTF-16 with a byte order mark, the way a Windows editor may save the file.
std::string Utf16(const std::u16string& text, bool big_endian) {
  std::string bytes;
  for (char16_t unit : u"\uFEFF" + text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
}

TEST(XmlProtoParseTest, EncodingIsDetectedAndValuesComeBackInUtf8) {
  const std::u16string text = u"<R><Prod\u00FCkt a=\"\u00FC\">\u00FC</Prod\u00FCkt></R>";
  const std::u32string text32 = U"<R><Prod\u00FCkt a=\"\u00FC\">\u00FC</Prod\u00FCkt></R>";
  const std::string utf8 = "<R><Prod\xC3\xBCkt a=\"\xC3\xBC\">\xC3\xBC</Prod\xC3\xBCkt></R>";
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"UTF-8", utf8},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8},
      {"UTF-16LE", Utf16(text, false)},
      {"UTF-16BE", Utf16(text, true)},
      // The byte order mark tells, whatever the declaration says.
      {"UTF-16LE declared UTF-8",
       Utf16(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + text, false)},
      {"UTF-32LE", Utf32(text32, false)},
      {"UTF-32BE", Utf32(text32, true)},
  };
  for (const auto& c : cases) {
    proto::CXmlProto xml;
    ASSERT_TRUE(xml.Parse(c.bytes)) << c.name << ": " << xml.GetParseError();
    EXPECT_EQ(xml.GetNodeText("/R/Prod\xC3\xBCkt", "def"), "\xC3\xBC") << c.name;
    EXPECT_EQ(xml.GetNodeAttribute("/R/Prod\xC3\xBCkt", "a", "def"), "\xC3\xBC") << c.name;
  }
}

TEST(XmlProtoParseTest, BytesOfAnUnknownEncodingComeBackUnconverted) {
  proto::CXmlProto xml;
  ASSERT_TRUE(xml.Parse("<?xml version=\"1.0\" encoding=\"GBK\"?><R><V>\xC4\xE3</V></R>"));
  EXPECT_EQ(xml.GetNodeText("/R/V", "def"), "\xC4\xE3");
}

}  // namespace
