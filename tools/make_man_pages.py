#!/usr/bin/env python3
"""Writes one section-3 man page per call of include/lumo.h into a folder,
from the header's own comments: the comment just above a declaration (or,
without one, the comment that opens its section), the by-value prototype
and its by-reference twin of include/lumo_ref.h.

    tools/make_man_pages.py OUTPUT_DIR [SOURCE_DIR]

The build runs it (target lumo_man_pages) and installs the pages beside
lumo(3)."""
import re
import sys
from pathlib import Path

SECTION = re.compile(r"/\* ---- (.*?) -+ \*/")
DECL = re.compile(r"^(int|float|void)\s+\**\s*(Lm[A-Za-z0-9]+)\(")


def roff(text):
    """Plain text as roff: backslashes doubled, no line starting a request."""
    out = []
    for line in text.replace("\\", "\\e").split("\n"):
        line = line.rstrip()
        if line.startswith((".", "'")):
            line = "\\&" + line
        out.append(line)
    return "\n".join(out)


def comment_text(lines):
    body = []
    for line in lines:
        line = line.strip()
        line = re.sub(r"^/\*+ ?", "", line)
        line = re.sub(r" ?\*+/$", "", line)
        line = re.sub(r"^\* ?", "", line)
        body.append(line)
    return "\n".join(body).strip()


def calls(header):
    """(name, prototype, description, section) for each declaration."""
    section, intro, pending, in_comment, comment = "", "", [], False, []
    lines = header.split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        m = SECTION.search(line)
        if m:
            section, intro, pending = m.group(1), "", []
            i += 1
            continue
        stripped = line.strip()
        if in_comment or stripped.startswith("/*"):
            comment.append(line)
            in_comment = "*/" not in stripped
            if not in_comment:
                pending = comment_text(comment)
                if not intro and section:
                    # The first comment of a section speaks for it, unless a
                    # declaration follows at once (then it is that call's).
                    nxt = lines[i + 1].strip() if i + 1 < len(lines) else ""
                    if not DECL.match(nxt):
                        intro = pending
                        pending = []
                comment = []
            i += 1
            continue
        d = DECL.match(stripped)
        if d:
            proto = stripped
            while not proto.endswith(";"):
                i += 1
                proto += " " + lines[i].strip()
            yield d.group(2), proto, pending or "", section, intro
            pending = []
            i += 1
            continue
        if stripped and not stripped.startswith("#"):
            pending = []
        i += 1


def twin_of(ref, name):
    m = re.search(r"^(int|float) (%s)\(([^)]*)\);" % name.lower(), ref, re.M)
    return m.group(0) if m else None


def page(name, proto, text, section, intro, twin):
    out = ['.TH %s 3 "" "Lumo kit" "Lumo kit"' % name.upper(), ".SH NAME"]
    first = re.split(r"(?<=\.)\s", (text or section).replace("\n", " "), 1)[0].rstrip(".")
    names = name + (", " + name.lower() if twin else "")
    out.append("%s \\- %s" % (names, roff(first) if first else section.lower()))
    out += [".SH SYNOPSIS", ".nf", ".B #include <lumo.h>", ".sp", roff(proto)]
    if twin:
        out += [".sp", ".B #include <lumo_ref.h>", ".sp", roff(twin)]
    out += [".fi", ".SH DESCRIPTION"]
    if text:
        out.append(roff(text))
    if intro:
        out += [".PP", roff(intro)]
    out.append(".PP")
    out.append("A result of 0 means refused or failed. The by-reference twin takes every argument "
               "by address, stores the result through its first one, and has Fortran's name "
               "with a trailing underscore; texts are blank-padded with their lengths last.")
    out += [".SH SEE ALSO", "\\fBlumo\\fR(3) (the calls of section \"%s\" and the rest of the kit)" % roff(section)]
    return "\n".join(out) + "\n"


def main():
    out = Path(sys.argv[1])
    root = Path(sys.argv[2]) if len(sys.argv) > 2 else Path(__file__).resolve().parent.parent
    header = (root / "include" / "lumo.h").read_text()
    ref = (root / "include" / "lumo_ref.h").read_text()
    out.mkdir(parents=True, exist_ok=True)
    count = 0
    for name, proto, text, section, intro in calls(header):
        (out / (name + ".3")).write_text(page(name, proto, text, section, intro, twin_of(ref, name)))
        count += 1
    print("%d man pages in %s" % (count, out))


if __name__ == "__main__":
    main()
