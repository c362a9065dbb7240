// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Reading a file of the tool for an operation: a script's text in blocks, or
// the XML document of a configuration file whole. Both read through
// CFileBak::ReadFile, so a missing or empty file is replaced by its backup
// copy, and log their failures at the operation's site.
#ifndef PLINTH_COMMON_TEXTFILE_H_
#define PLINTH_COMMON_TEXTFILE_H_

#include <string>

#include "Common/FileBak.h"
#include "Common/Log.h"
#include "XmlProto.h"

namespace plinth {

// Reads the file at `path` (local code page) whole into `text`. Returns false,
// with `text` unchanged, when neither the file nor its backup copy can be
// read; that is logged at `at` ("ReadFile fail, path = ..."), after the
// reader's own lines.
bool ReadTextFile(const LogSite& at, const std::string& path, std::string& text);

// Opens into `file`, for reading in blocks, the file at `path` (local code
// page) or its backup copy, as ReadTextFile would read it. Returns false, with
// `file` closed, when neither can be read; logged as ReadTextFile logs it.
bool OpenTextFile(const LogSite& at, const std::string& path, CInputFile& file);

// How reading an XML file went.
enum class XmlFileRead {
  kParsed,         // `xml` holds the document
  kNotWellFormed,  // logged with the parser's reason; `xml` is empty, so every
                   // query answers its default
  kUnreadable,     // neither the file nor its backup copy can be read; logged
};

// Reads the file at `path` (local code page) whole, as ReadTextFile does, and
// parses it into `xml`.
XmlFileRead ReadXmlFile(const LogSite& at, const std::string& path, proto::CXmlProto& xml);

// Reads and parses the file at `path` as ReadXmlFile does, but logs nothing.
// Returns true when `xml` holds the document.
bool ReadXmlFileQuietly(const std::string& path, proto::CXmlProto& xml);

}  // namespace plinth

#endif  // PLINTH_COMMON_TEXTFILE_H_
