#!/usr/bin/env python3
"""Turns the plain comments of public headers into Doxygen comments.

The headers are written with `//` comments that say what each declaration
does; Doxygen reads `///`. This rewrites, in place:
  - the opening block of a header into a `/// @file` block, its example
    (lines indented by three blanks) into `@code` ... `@endcode`;
  - a run of `//` lines directly above a declaration into `///` lines;
  - a `// note` after a declaration on the same line into `///< note`.
Lines already in Doxygen form are left alone, so running it twice is harmless.
"""
import re
import sys


def convert(text):
    lines = text.split("\n")
    out = []
    i = 0
    # The opening block, up to `#pragma once`.
    if lines and lines[0].startswith("//") and not lines[0].startswith("///"):
        block = []
        while i < len(lines) and lines[i].startswith("//"):
            block.append(lines[i][2:])
            i += 1
        out.append("/// @file")
        in_code = False
        for body in block:
            is_code = body.startswith("   ")
            if is_code and not in_code:
                out.append("/// @code")
                in_code = True
            if not is_code and in_code and body.strip():
                out.append("/// @endcode")
                in_code = False
            out.append("///" + (body[2:] if is_code else body) if body.strip() else "///")
        if in_code:
            out.append("/// @endcode")
    while i < len(lines):
        line = lines[i]
        stripped = line.lstrip()
        if stripped.startswith("//") and not stripped.startswith("///"):
            j = i
            while j < len(lines) and lines[j].lstrip().startswith("//") and not lines[j].lstrip().startswith("///"):
                j += 1
            following = lines[j].strip() if j < len(lines) else ""
            is_decl = following and not following.startswith(("#", "}", "public:", "private:", "protected:"))
            for k in range(i, j):
                if is_decl:
                    indent = lines[k][: len(lines[k]) - len(lines[k].lstrip())]
                    out.append(indent + "///" + lines[k].lstrip()[2:])
                else:
                    out.append(lines[k])
            i = j
            continue
        m = re.match(r"^(\s*[^/\s].*?;)(\s+)// (.*)$", line)
        if m and "NOLINT" not in m.group(3):
            out.append(f"{m.group(1)}{m.group(2)}///< {m.group(3)}")
        else:
            out.append(line)
        i += 1
    return "\n".join(out)


for path in sys.argv[1:]:
    with open(path, encoding="utf-8") as f:
        text = f.read()
    new = convert(text)
    if new != text:
        with open(path, "w", encoding="utf-8") as f:
            f.write(new)
