// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The XML document class over pugixml. Paths are resolved by walking the tree
// one step at a time and comparing names byte for byte, never through XPath: a
// step can be a product type read from a file, and any character in it must
// simply fail to match rather than change the meaning of the query.
#include "XmlProto.h"

#include <expat.h>

#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace proto {
namespace {

// One step of a path: an element name and its 1-based index among same-named
// siblings; 0 when the step carries no index.
struct Step {
  std::string_view name;
  std::size_t index = 0;
};

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "Name" or "Name[n]" with n a positive decimal number; nullopt for anything
// else (an empty name, "[0]", "[-1]", "[x]", text after the "]").
std::optional<Step> ParseStep(std::string_view text) {
  Step step;
  const std::size_t open = text.find('[');
  step.name = text.substr(0, open);
  if (step.name.empty()) return std::nullopt;
  if (open == std::string_view::npos) return step;
  if (text.back() != ']') return std::nullopt;
  const std::string_view digits = text.substr(open + 1, text.size() - open - 2);
  if (!IsDigits(digits)) return std::nullopt;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), step.index);
  if (ec != std::errc() || step.index == 0) return std::nullopt;
  return step;
}

// The steps of an absolute path; nullopt when the path does not begin with
// "/", has no step, or any step is malformed.
std::optional<std::vector<Step>> ParsePath(std::string_view path) {
  if (path.empty() || path.front() != '/') return std::nullopt;
  std::vector<Step> steps;
  std::size_t begin = 1;
  for (;;) {
    const std::size_t end = path.find('/', begin);
    const std::optional<Step> step = ParseStep(path.substr(begin, end - begin));
    if (!step) return std::nullopt;
    steps.push_back(*step);
    if (end == std::string_view::npos) return steps;
    begin = end + 1;
  }
}

bool IsElementNamed(const pugi::xml_node& node, std::string_view name) {
  return node.type() == pugi::node_element && name == node.name();
}

// The next element after `node` among its siblings that is named `name`; a
// null node when there is none.
pugi::xml_node NextNamed(pugi::xml_node node, std::string_view name) {
  do {
    node = node.next_sibling();
  } while (node && !IsElementNamed(node, name));
  return node;
}

// The first child element of `parent` named `name`; a null node when none.
pugi::xml_node FirstNamed(const pugi::xml_node& parent, std::string_view name) {
  pugi::xml_node child = parent.first_child();
  return !child || IsElementNamed(child, name) ? child : NextNamed(child, name);
}

// pugixml accepts several top-level elements, and as a fragment none or text
// beside them; a well-formed document has one root and only markup around it.
// Why `doc` is not such a document; empty when it is.
std::string RootProblem(const pugi::xml_document& doc) {
  int elements = 0;
  for (const pugi::xml_node& node : doc.children()) {
    const pugi::xml_node_type type = node.type();
    if (type == pugi::node_pcdata || type == pugi::node_cdata) {
      return "text outside the root element";
    }
    if (type == pugi::node_element) ++elements;
  }
  if (elements == 0) return "no root element";
  return elements == 1 ? std::string() : "more than one root element";
}

// The code units of a text as the parser reads them: their width in bytes and
// their byte order.
struct UnitLayout {
  std::size_t width;
  bool big_endian;
};

// Tells the layout from the first four bytes, by the rule of the parser's
// encoding detection: a UTF-32 or UTF-16 byte order mark, or "<" written in
// one of those encodings; anything else is read byte by byte.
UnitLayout DetectUnits(std::string_view text) {
  if (text.size() < 4) return {1, false};
  const auto b = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) return {4, true};
  if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) return {4, false};
  if (b(0) == 0xFE && b(1) == 0xFF) return {2, true};
  if (b(0) == 0xFF && b(1) == 0xFE) return {2, false};
  if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == '<') return {4, true};
  if (b(0) == '<' && b(1) == 0 && b(2) == 0 && b(3) == 0) return {4, false};
  if (b(0) == 0 && b(1) == '<') return {2, true};
  if (b(0) == '<' && b(1) == 0) return {2, false};
  return {1, false};
}

// The text's code units, read in the layout of DetectUnits; a last unit that
// is cut short is not read.
class Units {
 public:
  explicit Units(std::string_view text) : text_(text), layout_(DetectUnits(text)) {}
  std::size_t size() const { return text_.size() / layout_.width; }
  std::size_t offset(std::size_t i) const { return i * layout_.width; }
  std::uint32_t operator[](std::size_t i) const {
    std::uint32_t unit = 0;
    for (std::size_t k = 0; k < layout_.width; ++k) {
      const std::size_t byte = layout_.big_endian ? k : layout_.width - 1 - k;
      unit = unit << 8 | static_cast<unsigned char>(text_[offset(i) + byte]);
    }
    return unit;
  }

 private:
  std::string_view text_;
  UnitLayout layout_;
};

// When the units from `i` on spell a character reference ("&#" decimal digits
// ";" or "&#x" hexadecimal digits ";"), its code point taken modulo 2^32 as the
// parser decodes it; nullopt for anything else, which the parser leaves as
// text.
std::optional<std::uint32_t> ReferenceAt(const Units& units, std::size_t i) {
  if (i + 2 >= units.size() || units[i] != '&' || units[i + 1] != '#') return std::nullopt;
  i += 2;
  const bool hex = units[i] == 'x';
  if (hex) ++i;
  std::uint32_t code = 0;
  std::size_t digits = 0;
  for (; i < units.size(); ++i, ++digits) {
    const std::uint32_t u = units[i];
    if (u == ';') return digits > 0 ? std::optional<std::uint32_t>(code) : std::nullopt;
    if (u >= '0' && u <= '9') {
      code = code * (hex ? 16 : 10) + (u - '0');
    } else if (hex && (u | 0x20) >= 'a' && (u | 0x20) <= 'f') {
      code = code * 16 + ((u | 0x20) - 'a' + 10);
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// U+0000 is no XML character, and a value holding one would come back cut
// short. Describes the first one in `text`, as a character or as a character
// reference to it, with its byte offset; empty when there is none. A reference
// counts wherever it stands, in a comment or a CDATA section too.
std::string NulProblem(std::string_view text) {
  const Units units(text);
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (units[i] == 0) return "NUL character at offset " + std::to_string(units.offset(i));
    if (units[i] == '&' && ReferenceAt(units, i) == 0u) {
      return "character reference to NUL at offset " + std::to_string(units.offset(i));
    }
  }
  return std::string();
}

// The text as expat reads it: the bytes handed to it, and the encoding that
// overrides the document's own declaration (null: expat reads the
// declaration). pugixml takes the layout of the code units from the first
// bytes and ignores a declaration that contradicts it (a file saved in UTF-16
// that still declares UTF-8): expat is told the same layout. expat knows no
// UTF-32, which is handed to it converted into UTF-8.
struct ExpatInput {
  std::string converted;  // the UTF-8 form of a UTF-32 text; else empty
  std::string_view bytes;
  const char* encoding = nullptr;
  std::size_t unit_width = 1;  // of the original text, for the offsets
};

// Appends code point `code` to `out` in UTF-8; a value that is no Unicode
// scalar value becomes the byte 0xFF, which is no UTF-8 and which expat
// refuses.
void AppendUtf8(std::uint32_t code, std::string& out) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    out += '\xFF';
  } else if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

ExpatInput ExpatInputOf(std::string_view text) {
  ExpatInput input;
  const UnitLayout layout = DetectUnits(text);
  input.unit_width = layout.width;
  input.bytes = text;
  if (layout.width == 2) {
    input.encoding = layout.big_endian ? "UTF-16BE" : "UTF-16LE";
  } else if (layout.width == 4) {
    const Units units(text);
    for (std::size_t i = 0; i < units.size(); ++i) AppendUtf8(units[i], input.converted);
    if (text.size() % 4 != 0) input.converted += '\xFF';  // a unit cut short
    input.bytes = input.converted;
    input.encoding = "UTF-8";
  }
  return input;
}

// The byte offset in the original text of byte `index` of `input.bytes`.
std::size_t OriginalOffset(const ExpatInput& input, std::size_t index) {
  if (input.unit_width != 4) return index;
  // One character of the UTF-8 form per unit of four bytes.
  std::size_t characters = 0;
  for (std::size_t i = 0; i < index && i < input.bytes.size(); ++i) {
    if ((static_cast<unsigned char>(input.bytes[i]) & 0xC0) != 0x80) ++characters;
  }
  return characters * 4;
}

// An encoding expat does not know, declared by a text read byte by byte,
// reads as pugixml reads it: unconverted. ASCII is itself, and every other
// byte a character of its own that may stand in names, text and values.
int XMLCALL ReadBytesUnconverted(void*, const XML_Char*, XML_Encoding* info) {
  for (int byte = 0; byte < 0x100; ++byte) {
    info->map[byte] = byte < 0x80 ? byte : 0x4E00 + byte;  // CJK ideographs: letters
  }
  info->data = nullptr;
  info->convert = nullptr;
  info->release = nullptr;
  return XML_STATUS_OK;
}

// What the well-formedness check of one text found.
struct ExpatCheck {
  XML_Parser parser = nullptr;
  std::string problem;
};

// A document type declaration could define entities, whose expansion no
// configuration needs: it is refused as soon as its name is read, before
// anything it declares.
void XMLCALL RefuseDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto* check = static_cast<ExpatCheck*>(data);
  check->problem = "document type declaration";
  XML_StopParser(check->parser, XML_FALSE);
}

// Where in the text the parser stands: expat's 64-bit index where the header
// has it (CMake's PLINTH_EXPAT_BYTE_INDEX64; the older one is deprecated
// there), else the older one.
#if PLINTH_EXPAT_BYTE_INDEX64
inline std::int64_t ByteIndex(XML_Parser parser) { return XML_GetCurrentByteIndex64(parser); }
#else
inline std::int64_t ByteIndex(XML_Parser parser) { return XML_GetCurrentByteIndex(parser); }
#endif

// Why `text` is not well-formed XML 1.0 to expat, a strict parser: its fault
// with the byte offset; empty when it is. pugixml, which builds the tree, is
// lenient: it takes a bare "&" and a "<" in an attribute value, keeps an
// undefined entity as text, keeps the first of two attributes of one name,
// and skips a document type declaration.
std::string WellFormednessProblem(std::string_view text) {
  const ExpatInput input = ExpatInputOf(text);
  ExpatCheck check;
  check.parser = XML_ParserCreate(input.encoding);
  if (check.parser == nullptr) return "no memory for the XML parser";
  XML_SetUserData(check.parser, &check);
  XML_SetStartDoctypeDeclHandler(check.parser, RefuseDoctype);
  if (input.encoding == nullptr) {
    XML_SetUnknownEncodingHandler(check.parser, ReadBytesUnconverted, nullptr);
  }
  // XML_Parse takes an int length: the text goes in blocks.
  constexpr std::size_t kBlock = 1 << 20;
  std::string_view rest = input.bytes;
  XML_Status status = XML_STATUS_OK;
  do {
    const std::string_view block = rest.substr(0, kBlock);
    rest.remove_prefix(block.size());
    status = XML_Parse(check.parser, block.data(), static_cast<int>(block.size()), rest.empty());
  } while (status == XML_STATUS_OK && !rest.empty());
  if (status != XML_STATUS_OK) {
    if (check.problem.empty()) check.problem = XML_ErrorString(XML_GetErrorCode(check.parser));
    const auto index = ByteIndex(check.parser);
    const std::size_t at = index < 0 ? input.bytes.size() : static_cast<std::size_t>(index);
    check.problem += " at offset " + std::to_string(OriginalOffset(input, at));
  }
  XML_ParserFree(check.parser);
  return check.problem;
}

// Accepts an optionally signed decimal number, with blanks (space, tab, CR,
// LF) around it allowed, that fits an int.
std::optional<int> ParseInt(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
  // from_chars takes a leading '-' but no '+'.
  // cppcheck-suppress containerOutOfBounds ; the text holds a non-blank here
  if (text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '-') return std::nullopt;
  }
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

// The document owns the text it was parsed from: pugixml parses it in place
// and its names and values point into it, so the text is held once.
//
// Callers walk runs of indexed paths over one parent ("/Configs/Config[1]",
// "[2]", ... and, nested, "Plugin[i]/SQLScript/Path[j]"). Stepping to the
// n-th same-named sibling from the first one would make such a run quadratic,
// so the document remembers, for every depth of the last path it resolved,
// which element it selected there; a step under the same parent, of the same
// name and with an index not below the remembered one goes on from that
// element. A run of indexes over one parent thus costs time linear in the
// number of its elements, and the memory stays one entry per depth.
struct CXmlProto::Impl {
  // Declared before `doc`, so that it outlives the nodes pointing into it.
  std::string text;
  pugi::xml_document doc;
  std::string parse_error;  // why the last Parse refused its text

  // The element selected at one depth of the last resolved path.
  struct Resolved {
    pugi::xml_node parent;
    std::string name;
    std::size_t index = 0;  // 0: nothing remembered
    pugi::xml_node node;
  };
  std::vector<Resolved> resolved;

  void Reset() {
    doc.reset();
    resolved.clear();
  }

  // The `index`-th (from 1) child element of `parent` named `name`, the one
  // selected at `depth`; a null node when there are fewer.
  pugi::xml_node NthChild(std::size_t depth, const pugi::xml_node& parent, std::string_view name,
                          std::size_t index) {
    if (resolved.size() <= depth) resolved.resize(depth + 1);
    Resolved& last = resolved[depth];
    std::size_t at = 1;
    pugi::xml_node node;
    if (last.index != 0 && last.index <= index && last.parent == parent && last.name == name) {
      at = last.index;
      node = last.node;
    } else {
      node = FirstNamed(parent, name);
    }
    for (; node && at < index; ++at) node = NextNamed(node, name);
    if (!node) return node;  // a miss leaves what was remembered
    last.parent = parent;
    last.name.assign(name);
    last.index = index;
    last.node = node;
    return node;
  }

  // The node that `steps` select, walked from the document: the first step
  // selects the root element (Parse admits only one). A step without an index
  // selects the first element of its name.
  pugi::xml_node Walk(const Step* begin, const Step* end) {
    pugi::xml_node node = doc;
    for (const Step* step = begin; step != end && node; ++step) {
      node = NthChild(static_cast<std::size_t>(step - begin), node, step->name,
                      step->index == 0 ? 1 : step->index);
    }
    return node;
  }

  // The element that `path` selects; a null node when there is none.
  pugi::xml_node Find(std::string_view path) {
    const std::optional<std::vector<Step>> steps = ParsePath(path);
    if (!steps) return {};
    return Walk(steps->data(), steps->data() + steps->size());
  }
};

CXmlProto::CXmlProto() : impl_(new Impl) {}

CXmlProto::~CXmlProto() = default;

bool CXmlProto::Parse(std::string text) {
  impl_->Reset();
  impl_->text = std::string();  // the old document's text goes with it
  impl_->parse_error = NulProblem(text);
  if (!impl_->parse_error.empty()) return false;
  // A fault that pugixml finds too keeps pugixml's reason: it is told below.
  const std::string strict_problem = WellFormednessProblem(text);
  // Whitespace-only text is kept when it is an element's only content, so such
  // an element reads back exactly as written; indentation between elements is
  // still dropped. An element's leading text is stored in the element itself,
  // which saves a node for every element with text. As a fragment, text
  // outside the root element lands in the tree, where RootProblem finds it.
  constexpr unsigned kOptions = pugi::parse_default | pugi::parse_ws_pcdata_single |
                                pugi::parse_embed_pcdata | pugi::parse_fragment;
  impl_->text = std::move(text);
  const pugi::xml_parse_result result = impl_->doc.load_buffer_inplace(
      impl_->text.data(), impl_->text.size(), kOptions, pugi::encoding_auto);
  impl_->parse_error =
      result ? RootProblem(impl_->doc)
             : std::string(result.description()) + " at offset " + std::to_string(result.offset);
  if (impl_->parse_error.empty()) impl_->parse_error = strict_problem;
  if (impl_->parse_error.empty()) return true;
  impl_->Reset();  // pugixml keeps what it built before the error
  impl_->text = std::string();
  return false;
}

std::string CXmlProto::GetParseError() const { return impl_->parse_error; }

// The interface takes its strings by value; the queries only read them.
// NOLINTBEGIN(performance-unnecessary-value-param)
int CXmlProto::GetNodeCount(std::string path) {
  const std::optional<std::vector<Step>> steps = ParsePath(path);
  if (!steps) return 0;
  const Step& last = steps->back();
  const std::size_t depth = steps->size() - 1;
  const pugi::xml_node parent = impl_->Walk(steps->data(), &last);
  if (!parent) return 0;
  if (last.index != 0) return impl_->NthChild(depth, parent, last.name, last.index) ? 1 : 0;
  int count = 0;
  for (const pugi::xml_node& child : parent.children()) {
    if (IsElementNamed(child, last.name) && count < INT_MAX) ++count;
  }
  return count;
}

std::string CXmlProto::GetNodeText(std::string path, std::string def) {
  const pugi::xml_node node = impl_->Find(path);
  return node ? node.text().get() : std::move(def);
}

int CXmlProto::GetNodeInt(std::string path, int def) {
  const pugi::xml_node node = impl_->Find(path);
  if (!node) return def;
  return ParseInt(node.text().get()).value_or(def);
}
// NOLINTEND(performance-unnecessary-value-param)

std::string CXmlProto::GetNodeAttribute(const std::string& path, const std::string& name,
                                        std::string def) {
  const pugi::xml_node node = impl_->Find(path);
  for (const pugi::xml_attribute& attribute : node.attributes()) {
    if (name == attribute.name()) return attribute.value();
  }
  return def;
}

}  // namespace proto
