// The XML document class over pugixml. Paths are resolved by walking the tree
// one step at a time and comparing names byte for byte, never through XPath: a
// step can be a product type read from a file, and any character in it must
// simply fail to match rather than change the meaning of the query.
#include "External/XmlProto.h"

#include <charconv>
#include <climits>
#include <cstddef>
#include <optional>
#include <pugixml.hpp>
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

// The `n`-th (from 1) child element of `parent` named `name`; a null node when
// there are fewer.
pugi::xml_node NthChild(const pugi::xml_node& parent, std::string_view name, std::size_t n) {
  for (const pugi::xml_node& child : parent.children()) {
    if (IsElementNamed(child, name) && --n == 0) return child;
  }
  return {};
}

// The node that `steps` select below `node`. Walked from the document, the
// first step selects the root element (Parse admits only one).
pugi::xml_node Walk(pugi::xml_node node, const Step* begin, const Step* end) {
  for (const Step* step = begin; step != end && node; ++step) {
    node = NthChild(node, step->name, step->index == 0 ? 1 : step->index);
  }
  return node;
}

// pugixml accepts several top-level elements, and as a fragment none or text
// beside them; a well-formed document has one root and only markup around it.
bool HasSingleRoot(const pugi::xml_document& doc) {
  int elements = 0;
  for (const pugi::xml_node& node : doc.children()) {
    const pugi::xml_node_type type = node.type();
    if (type == pugi::node_pcdata || type == pugi::node_cdata) return false;
    if (type == pugi::node_element) ++elements;
  }
  return elements == 1;
}

// Accepts an optionally signed decimal number, with blanks (space, tab, CR,
// LF) around it allowed, that fits an int.
std::optional<int> ParseInt(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
  // from_chars takes a leading '-' but no '+'.
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

struct CXmlProto::Impl {
  pugi::xml_document doc;

  // The element that `path` selects; a null node when there is none.
  pugi::xml_node Find(std::string_view path) const {
    const std::optional<std::vector<Step>> steps = ParsePath(path);
    if (!steps) return {};
    return Walk(doc, steps->data(), steps->data() + steps->size());
  }
};

CXmlProto::CXmlProto() : impl_(new Impl) {}

CXmlProto::~CXmlProto() = default;

bool CXmlProto::Parse(std::string text) {
  // Whitespace-only text is kept when it is an element's only content, so such
  // an element reads back exactly as written; indentation between elements is
  // still dropped. As a fragment, text outside the root element lands in the
  // tree, where HasSingleRoot finds it.
  constexpr unsigned kOptions =
      pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_fragment;
  const pugi::xml_parse_result result =
      impl_->doc.load_buffer(text.data(), text.size(), kOptions, pugi::encoding_auto);
  if (result && HasSingleRoot(impl_->doc)) return true;
  impl_->doc.reset();  // pugixml keeps what it built before the error
  return false;
}

// The interface takes its strings by value; the queries only read them.
// NOLINTBEGIN(performance-unnecessary-value-param)
int CXmlProto::GetNodeCount(std::string path) {
  const std::optional<std::vector<Step>> steps = ParsePath(path);
  if (!steps) return 0;
  const Step& last = steps->back();
  const pugi::xml_node parent = Walk(impl_->doc, steps->data(), &last);
  if (!parent) return 0;
  if (last.index != 0) return NthChild(parent, last.name, last.index) ? 1 : 0;
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
