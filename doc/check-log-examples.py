#!/usr/bin/env python3
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
"""Checks the log lines that the documentation shows against the source.

Every "[<File>.cpp(<N>)]" in README.md, CONTRIBUTING.md and doc/plinth.1.md
ends an example log line, "[<function>]<message>[<File>.cpp(<N>)]". Line N of
the source file of that name (below src/ or lib/) must be one of:

  - a log call (PLINTH_LOG, PLINTH_LOG_AS, PLINTH_LOG_AT) whose format the
    example matches, "%s" standing for any text and "%d" for a number;
  - a site (PLINTH_HERE, PLINTH_SITE) handed to a helper that logs for the
    operation: the example matches the format of a PLINTH_LOG_AT call of the
    source.

Where the line is PLINTH_LOG or PLINTH_HERE, the function is the one whose
definition the line lies in, and the example must name it. A line number that
drifted, a text that changed and an example that names the wrong operation
each fail the check.

    check-log-examples.py <root of the source tree>

Prints each example that does not hold, and ends with 1 when one does not.
"""

import pathlib
import re
import sys

DOCUMENTS = ("README.md", "CONTRIBUTING.md", "doc/plinth.1.md")
SOURCE_DIRS = ("src", "lib")

EXAMPLE = re.compile(
    r"\[(?P<function>[^\[\]]+)\](?P<message>.*)\[(?P<file>\w+\.cpp)\((?P<line>\d+)\)\]")
MARKER = re.compile(r"\[\w+\.cpp\(\d+\)\]")
LOG_CALL = re.compile(r"\bPLINTH_LOG(?:_AS|_AT)?\(")
SITE = re.compile(r"\bPLINTH_(?:HERE\b|SITE\()")
# A conversion of printf's format, as the log formats use them.
CONVERSION = re.compile(r"%(?:%|[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z|j|t)?[diuxXsc])")
# The start of a function's definition: a line at the left margin that names
# the function and opens its parameter list.
DEFINITION = re.compile(r"^[A-Za-z].*?\b(?P<name>[\w:~]+)\((?!.*;\s*$)")
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "'": "'", "0": "\0"}


def call_text(lines, start):
    """The text of the macro call that begins on line `start` (0-based), up
    to its closing parenthesis, with string and character literals kept."""
    text = ""
    depth = 0
    begun = False
    for line in lines[start:]:
        i = 0
        while i < len(line):
            c = line[i]
            if c in "\"'":
                end = i + 1
                while end < len(line) and line[end] != c:
                    end += 2 if line[end] == "\\" else 1
                text += line[i:end + 1]
                i = end + 1
                continue
            if line.startswith("//", i):
                break
            text += c
            if c == "(":
                depth += 1
                begun = True
            elif c == ")":
                depth -= 1
                if begun and depth == 0:
                    return text
            i += 1
        text += "\n"
    return text


def unescape(literal):
    """The bytes of a C string literal's body, its escapes decoded."""
    out = ""
    i = 0
    while i < len(literal):
        if literal[i] == "\\" and i + 1 < len(literal):
            nxt = literal[i + 1]
            if nxt == "x":
                digits = re.match(r"[0-9a-fA-F]+", literal[i + 2:]).group(0)
                out += chr(int(digits, 16))
                i += 2 + len(digits)
                continue
            out += ESCAPES.get(nxt, nxt)
            i += 2
            continue
        out += literal[i]
        i += 1
    return out


def call_format(text):
    """The format of a log call: its first string literal and those that
    follow it with nothing but blanks between; None when it has none."""
    first = re.search(r'"((?:[^"\\]|\\.)*)"', text)
    if first is None:
        return None
    parts = [first.group(1)]
    rest = text[first.end():]
    while True:
        following = re.match(r'\s*"((?:[^"\\]|\\.)*)"', rest)
        if following is None:
            break
        parts.append(following.group(1))
        rest = rest[following.end():]
    return unescape("".join(parts))


def format_pattern(fmt):
    """A regular expression that the lines `fmt` writes match."""
    pattern = ""
    position = 0
    for conversion in CONVERSION.finditer(fmt):
        pattern += re.escape(fmt[position:conversion.start()])
        directive = conversion.group(0)
        if directive == "%%":
            pattern += "%"
        elif directive[-1] in "di":
            pattern += r"-?\d+"
        elif directive[-1] in "uxX":
            pattern += r"[0-9a-fA-F]+"
        else:
            pattern += ".*"
        position = conversion.end()
    pattern += re.escape(fmt[position:])
    return re.compile(pattern, re.DOTALL)


def enclosing_function(lines, index):
    """The name (with its class, "CInitDBManager::RunDBInit") of the function
    whose definition line `index` lies in; None when none is found."""
    for line in reversed(lines[:index + 1]):
        definition = DEFINITION.match(line)
        if definition and not line.startswith(("#", "namespace", "}")):
            return definition.group("name")
    return None


class Source:
    def __init__(self, root):
        self.files = {}
        for directory in SOURCE_DIRS:
            for path in sorted((root / directory).rglob("*.cpp")):
                self.files.setdefault(path.name, []).append(path)
        self.site_formats = []
        for paths in self.files.values():
            for path in paths:
                lines = path.read_text(encoding="utf-8").split("\n")
                for index, line in enumerate(lines):
                    if "PLINTH_LOG_AT(" in line and "#define" not in line:
                        fmt = call_format(call_text(lines, index))
                        if fmt is not None:
                            self.site_formats.append(format_pattern(fmt))

    def problem(self, example):
        """Why `example` (a match of EXAMPLE) does not hold; None when it does."""
        name, number = example.group("file"), int(example.group("line"))
        paths = self.files.get(name, [])
        if len(paths) != 1:
            return f"{name}: {'no' if not paths else 'more than one'} source file of that name"
        lines = paths[0].read_text(encoding="utf-8").split("\n")
        if not 1 <= number <= len(lines):
            return f"{name} has no line {number}"
        line = lines[number - 1]
        shown = example.group(0)
        call = LOG_CALL.search(line)
        if call:
            fmt = call_format(call_text(lines, number - 1))
            if fmt is None or not format_pattern(fmt).fullmatch(shown):
                return f"the log call at {name}({number}) writes {fmt!r}"
            if call.group(0) != "PLINTH_LOG(":
                return None
        elif SITE.search(line):
            if not any(pattern.fullmatch(shown) for pattern in self.site_formats):
                return f"no helper logs this for the site at {name}({number})"
            if "PLINTH_HERE" not in line:
                return None
        else:
            return f"{name}({number}) is neither a log call nor a site: {line.strip()}"
        function = enclosing_function(lines, number - 1)
        if function is None or not example.group("function").endswith(function):
            return f"{name}({number}) lies in {function}, not in {example.group('function')}"
        return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    source = Source(root)
    failures = 0
    checked = 0
    for document in DOCUMENTS:
        text = (root / document).read_text(encoding="utf-8")
        for number, line in enumerate(text.split("\n"), start=1):
            for marker in MARKER.finditer(line):
                example = EXAMPLE.search(line[:marker.end()])
                checked += 1
                problem = (source.problem(example) if example is not None
                           else "no [<function>]<message> before it")
                if problem is not None:
                    failures += 1
                    print(f"{document}:{number}: {marker.group(0)}: {problem}")
    print(f"check-log-examples: {checked} examples, {failures} wrong")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
