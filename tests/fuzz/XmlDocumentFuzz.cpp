// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Fuzz target of the XML document class. The input is the document. Paths
// built from bytes of the input then query it the way the readers do (count
// the elements of a name, then ask for each one by its index: its text, its
// value as a number, its attributes), and the answers are checked against each
// other and against the class's contract. Lines of the input also serve as
// paths as they stand, whatever bytes they hold.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "FuzzSupport.h"
#include "XmlProto.h"

namespace {

using plinth_fuzz::HasControlCharacter;

// No value can hold a NUL (Parse refuses one), so this default is never a
// value that the document gives.
const std::string kMissing("\0missing", 8);
constexpr int kMissingInt = -1234567;

constexpr std::size_t kMaxNames = 24;
constexpr std::size_t kMaxNodes = 48;
constexpr std::size_t kMaxDepth = 8;
constexpr int kMaxIndex = 4;
constexpr std::size_t kMaxLinePaths = 16;

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == ':' || c == '-' || c >= 0x80;
}

// The distinct runs of name characters in `text`, in order of appearance:
// the element and attribute names of the document are among them.
std::vector<std::string> NamesIn(const std::string& text) {
  std::vector<std::string> names;
  for (std::size_t pos = 0; pos < text.size() && names.size() < kMaxNames;) {
    std::size_t end = pos;
    while (end < text.size() && end - pos < 64 && IsNameByte(text[end])) ++end;
    if (end == pos) {
      ++pos;
      continue;
    }
    std::string name = text.substr(pos, end - pos);
    bool seen = false;
    for (const std::string& n : names) seen = seen || n == name;
    if (!seen) names.push_back(std::move(name));
    pos = end;
  }
  return names;
}

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// Why the last Parse failed, in one of its known forms; never document text.
void CheckParseError(const proto::CXmlProto& xml, bool parsed) {
  const std::string error = xml.GetParseError();
  FUZZ_CHECK(parsed == error.empty(), "Parse result and GetParseError disagree: " + error);
  if (parsed) return;
  for (const char ch : error) {
    const auto c = static_cast<unsigned char>(ch);
    FUZZ_CHECK(c >= 0x20 && c < 0x7f, "parse error holds a byte that is no printable ASCII");
  }
  if (error == "text outside the root element" || error == "no root element" ||
      error == "more than one root element") {
    return;
  }
  const std::size_t at = error.rfind(" at offset ");
  FUZZ_CHECK(at != std::string::npos, "parse error of an unknown form: " + error);
  const std::string_view digits = std::string_view(error).substr(at + 11);
  FUZZ_CHECK(!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos,
             "parse error without its offset: " + error);
}

// The answers for an element that is not there: every query gives its default.
void CheckMissing(proto::CXmlProto& xml, const std::string& path, const std::string& attribute) {
  FUZZ_CHECK(xml.GetNodeText(path, kMissing) == kMissing, "text of a missing element: " + path);
  FUZZ_CHECK(xml.GetNodeInt(path, kMissingInt) == kMissingInt, "int of a missing element: " + path);
  FUZZ_CHECK(xml.GetNodeAttribute(path, attribute, kMissing) == kMissing,
             "attribute of a missing element: " + path);
}

// The answers for the element at `path`, which exists.
void CheckPresent(proto::CXmlProto& xml, const std::string& path,
                  const std::vector<std::string>& names) {
  const std::string text = xml.GetNodeText(path, kMissing);
  FUZZ_CHECK(text != kMissing, "no text for an element that was counted: " + path);
  FUZZ_CHECK(!HasNul(text), "a text with a NUL in it: " + path);

  const int a = xml.GetNodeInt(path, kMissingInt);
  const int b = xml.GetNodeInt(path, kMissingInt + 1);
  FUZZ_CHECK((a == kMissingInt && b == kMissingInt + 1) || a == b,
             "GetNodeInt answers a default and a number: " + path);
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (!text.empty() && ec == std::errc() && end == text.data() + text.size()) {
    FUZZ_CHECK(a == value, "GetNodeInt misreads the decimal text \"" + text + "\": " + path);
  }

  for (const std::string& name : names) {
    const std::string value_of = xml.GetNodeAttribute(path, name, kMissing);
    FUZZ_CHECK(value_of == kMissing || !HasNul(value_of), "an attribute with a NUL: " + path);
  }
}

// Explores the document below `parent` (a path that selects one element) as
// the readers do: count each name, then visit each counted element by index.
void Explore(proto::CXmlProto& xml, const std::string& parent,
             const std::vector<std::string>& names, std::size_t depth, std::size_t& nodes) {
  if (depth > kMaxDepth) return;
  for (const std::string& name : names) {
    if (nodes >= kMaxNodes) return;
    std::string path = parent;
    path += "/";
    path += name;
    const int count = xml.GetNodeCount(path);
    FUZZ_CHECK(count >= 0, "a negative count: " + path);
    if (count == 0) {
      FUZZ_CHECK(xml.GetNodeCount(path + "[1]") == 0, "[1] of a name counted 0: " + path);
      CheckMissing(xml, path, name);
      continue;
    }
    FUZZ_CHECK(xml.GetNodeText(path, kMissing) == xml.GetNodeText(path + "[1]", kMissing),
               "the step without an index is not the first element: " + path);
    const int last = count < kMaxIndex ? count : kMaxIndex;
    for (int i = 1; i <= last && nodes < kMaxNodes; ++i) {
      const std::string element = path + "[" + std::to_string(i) + "]";
      FUZZ_CHECK(xml.GetNodeCount(element) == 1, "a counted element not found: " + element);
      ++nodes;
      CheckPresent(xml, element, names);
      Explore(xml, element, names, depth + 1, nodes);
    }
    if (count < kMaxIndex) {
      const std::string beyond = path + "[" + std::to_string(count + 1) + "]";
      FUZZ_CHECK(xml.GetNodeCount(beyond) == 0, "an element beyond the count: " + beyond);
      CheckMissing(xml, beyond, name);
    }
    // Indexes that are no positive decimal number select nothing.
    for (const char* index : {"[0]", "[-1]", "[+1]", "[x]", "[]", "[1", "[1]x", "[4294967297]",
                              "[99999999999999999999999]"}) {
      FUZZ_CHECK(xml.GetNodeCount(path + index) == 0, "a malformed index selects: " + path + index);
    }
  }
}

// Lines of the input as paths, as they stand and with a leading "/": the path
// parser meets every kind of byte. Only the contract's own guarantees are
// checked here.
void QueryLines(proto::CXmlProto& xml, const std::string& text, bool parsed) {
  std::size_t done = 0;
  for (std::size_t pos = 0; pos <= text.size() && done < kMaxLinePaths; ++done) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    for (const std::string& path : {line, "/" + line}) {
      const int count = xml.GetNodeCount(path);
      FUZZ_CHECK(count >= 0, "a negative count for an input line");
      FUZZ_CHECK(parsed || count == 0, "a document that did not parse has elements");
      const std::string value = xml.GetNodeText(path, kMissing);
      FUZZ_CHECK(value == kMissing || (parsed && !HasNul(value)), "text for an input line");
      const std::string attribute = xml.GetNodeAttribute(path, line, kMissing);
      FUZZ_CHECK(attribute == kMissing || (parsed && !HasNul(attribute)),
                 "attribute for an input line");
      (void)xml.GetNodeInt(path, 0);
    }
  }
}

// U+0000 is refused: a document that parsed holds neither a NUL nor a
// character reference to one. Checked for texts read byte by byte (no UTF-16
// or UTF-32 form, whose NUL bytes are parts of characters).
void CheckNoNulAccepted(const std::string& text, bool parsed) {
  if (!parsed || text.size() < 2 || text[0] == '\0' || text[1] == '\0' ||
      text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
    return;
  }
  FUZZ_CHECK(!HasNul(text), "a text with a NUL byte parsed");
  for (std::size_t at = text.find("&#"); at != std::string::npos; at = text.find("&#", at + 1)) {
    std::size_t digits = at + 2;
    if (digits < text.size() && text[digits] == 'x') ++digits;
    const std::size_t end = text.find_first_not_of('0', digits);
    FUZZ_CHECK(end == digits || end == std::string::npos || text[end] != ';',
               "a character reference to NUL parsed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  proto::CXmlProto xml;
  const bool parsed = xml.Parse(text);
  CheckParseError(xml, parsed);
  CheckNoNulAccepted(text, parsed);
  const std::vector<std::string> names = NamesIn(text);
  std::size_t nodes = 0;
  Explore(xml, "", names, 0, nodes);
  if (!parsed) FUZZ_CHECK(nodes == 0, "a document that did not parse has elements");
  QueryLines(xml, text, parsed);
  return 0;
}
