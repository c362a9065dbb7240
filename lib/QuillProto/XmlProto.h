// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// What the tool uses of the product's XML document class.
//
// Element paths are absolute: "/", the root element's name, then steps
// separated by "/". A step is an element name, optionally followed by "[n]",
// the n-th element of that name among its siblings counting from 1. A step
// without an index is the first element of that name, except the last step of
// a count, which counts them all. Names compare byte for byte; a path that is
// not absolute, has an empty step or an index other than a positive decimal
// number selects nothing. The first step names the root element.
#ifndef PLINTH_LIB_QUILLPROTO_XMLPROTO_H_
#define PLINTH_LIB_QUILLPROTO_XMLPROTO_H_

#include <memory>
#include <string>

namespace proto {

class CXmlProto {
 public:
  CXmlProto();
  virtual ~CXmlProto();
  CXmlProto(const CXmlProto&) = delete;
  CXmlProto& operator=(const CXmlProto&) = delete;

  // Builds the document from `text`, replacing any earlier one. The encoding
  // is detected from a byte order mark or the first bytes (UTF-16, UTF-32),
  // else from the XML declaration; a declared encoding other than UTF-8,
  // UTF-16, ISO-8859-1 and US-ASCII is read byte for byte, unconverted.
  // Values come back in UTF-8. Returns false when the text is not
  // well-formed XML 1.0 (more than one root element, text beside the root,
  // two attributes of one name, an undefined entity or a malformed reference,
  // a bare "&" or a "<" in an attribute value, a character XML does not
  // admit, bytes that are not UTF-8 where UTF-8 is read) or holds a document
  // type declaration; the document is then empty and every query answers its
  // default. U+0000 is no XML character: a text that holds it, as a character
  // or as a character reference ("&#0;", "&#x00;"; counted wherever it
  // stands, in a comment or CDATA section too), is refused, so that no value
  // can come back cut short.
  virtual bool Parse(std::string text);

  // Why the last Parse returned false: the fault and its byte offset, such as
  // "Start-end tags mismatch at offset 42", "duplicate attribute at offset 13"
  // or "NUL character at offset 7" (for a text the tree's parser converted
  // from UTF-16 or UTF-32, the offsets of its own faults, such as the first,
  // count UTF-8 bytes). Empty after a Parse that succeeded, and before any.
  // Never holds text of the document.
  virtual std::string GetParseError() const;

  // The number of elements named like the last step under the element that
  // the earlier steps select; 0 when there are none. A last step with an index
  // gives 1 when that element exists, else 0.
  virtual int GetNodeCount(std::string path);

  // The element's first run of text (character data or CDATA), references
  // decoded and not trimmed; "" when the element has none, `def` when the
  // element is missing.
  virtual std::string GetNodeText(std::string path, std::string def);

  // The element's text as an int: decimal digits with an optional "+" or "-",
  // blanks around them allowed. `def` when the element is missing or its text
  // has any other form or does not fit.
  virtual int GetNodeInt(std::string path, int def);

  // The value of the element's attribute `name`, or `def` when the element or
  // the attribute is missing; "" for an attribute that is present but empty.
  virtual std::string GetNodeAttribute(const std::string& path, const std::string& name,
                                       std::string def);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace proto

#endif  // PLINTH_LIB_QUILLPROTO_XMLPROTO_H_
