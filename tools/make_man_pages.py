#!/usr/bin/env python3
"""Writes one section-3 manual page per call of include/lumo.h into OUT_DIR,
from the header's comments, with the call's by-reference twin (lumo_ref.h)
and its Fortran form (the lumo module), and OUT_DIR/lumo.3: man/lumo.3 with
a CALLS section that names every page.

    make_man_pages.py SOURCE_DIR OUT_DIR

A call without a comment of its own (or of the call it is a form of) stops
the build: every page says what its call does."""
import re
import sys
from pathlib import Path

FUNCTIONS = {"lmrgb", "lmpalettergb", "lmpaletteindex", "lmaspect", "lmmaxfloat", "lmgetkey",
             "lmask"}


def roff(text):
    """Plain text as roff: backslashes and leading dots made harmless."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    text = re.sub(r"`([^`]+)`", r"\\fI\1\\fR", text)
    return "\n".join(("\\&" + l if l.startswith((".", "'")) else l) for l in text.split("\n"))


def comment_text(raw):
    body = raw[2:-2]
    lines = [l.strip() for l in body.split("\n")]
    return " ".join(l for l in lines if l).strip()


def read_calls(header):
    """[(section, name, declaration, own comment, section comment)] in header
    order.  A comment speaks for the declarations below it up to a blank
    line; one right under a section title speaks for the whole section."""
    calls, section, pending, note, after_title = [], "", None, "", False
    token = re.compile(r"/\*.*?\*/|^(?:int|float) Lm\w+\([^)]*\);|\n\s*\n", re.S | re.M)
    for m in token.finditer(header):
        text = m.group(0)
        if text.startswith("/*"):
            title = re.match(r"/\* ---- (.*?) -+ \*/", text)
            if title:
                section, pending, note, after_title = title.group(1), None, "", True
            elif after_title:
                note, after_title = comment_text(text), False
            else:
                pending = comment_text(text)
            continue
        after_title = False
        if not text.startswith(("int", "float")):
            pending = None
            continue
        name = re.match(r"(?:int|float) (Lm\w+)", text).group(1)
        calls.append((section, name, " ".join(text.split()), pending, note))
    return calls


def twin_declarations(twins):
    out = {}
    for m in re.finditer(r"^(int|float) (lm\w+)\(([^)]*)\);", twins, re.M):
        out[m.group(2)] = (m.group(0), m.group(1), m.group(3))
    return out


def fortran_form(name, params):
    if params == "void":
        args = []
    else:
        args = [re.split(r"[ *]", p.strip())[-1] for p in params.split(",")
                if "*" in p]  # hidden lengths are not given in the module
    if name in FUNCTIONS:
        return "value = %s(%s)" % (name, ", ".join(args))
    return "call %s(%s)" % (name, ", ".join(args))


def describe(calls):
    """name -> description; forms of another call point to it."""
    by_name = {c[1]: c for c in calls}
    out = {}
    for section, name, decl, text, note in calls:
        base = None
        if name.startswith("LmDev") and "Lm" + name[5:] in by_name:
            base = "Lm" + name[5:]
        elif name.endswith("Window") and name[:-6] in by_name:
            base = name[:-6]
        if text and base is None:
            out[name] = text
        elif base:
            form = ("the window number w first, coordinates and lengths in pixels"
                    if name.startswith("LmDev") else "for window w instead of the current one")
            own = by_name[base][3] or ""
            kind = "device" if name.startswith("LmDev") else "window"
            out[name] = ("The %s form of %s(3): %s." % (kind, base, form) +
                         ((" " + text) if text else (" " + own if own else "")))
        else:
            out[name] = None
    return out


def summary(description):
    """The first sentence, short enough for the NAME line."""
    first = re.split(r"(?<=[a-z)])\. ", description, maxsplit=1)[0].rstrip(".")
    if len(first) > 70:
        first = re.split(r"[:;] ", first, maxsplit=1)[0]
    return first


def page(call, description, twins, related):
    section, name, decl, _, note = call
    twin = name.lower()
    lines = [
        '.TH %s 3 "" "Lumo kit" "Lumo kit"' % name,
        ".SH NAME",
        "%s, %s \\- %s" % (name, twin, roff(summary(description))),
        ".SH SYNOPSIS",
        ".nf",
        ".B #include <lumo.h>",
        ".sp",
        roff(decl),
    ]
    if twin in twins:
        tdecl, _, params = twins[twin]
        lines += [".sp", ".B #include <lumo_ref.h>", ".sp", roff(" ".join(tdecl.split())),
                  ".sp", ".B use lumo", ".sp", roff(fortran_form(twin, params))]
    lines += [".fi", ".SH DESCRIPTION", roff(description)]
    if note:
        lines += [".PP", "\\fI%s:\\fR %s" % (roff(section), roff(note))]
    lines += [
        ".PP",
        "The by-reference twin \\fB%s\\fR takes every argument by address and stores "
        "the result through its first one (texts: blank-padded, with their lengths "
        "last); with \\fBuse lumo\\fR, Fortran calls it by the same name with texts "
        "of any length." % twin
        if twin not in FUNCTIONS else
        "The by-reference twin \\fB%s\\fR takes every argument by address and returns "
        "its value." % twin,
        ".SH RETURN VALUE",
        "A window number or another positive value when done, 0 when refused or "
        "failed, a negative length when a text did not fit; a call that returns "
        "something else says so above.",
        ".SH SEE ALSO",
        ",\n".join(".BR %s (3)" % r for r in ["lumo"] + related),
    ]
    return "\n".join(lines) + "\n"


def main(src, out):
    header = (src / "include" / "lumo.h").read_text()
    twins = twin_declarations((src / "include" / "lumo_ref.h").read_text())
    calls = read_calls(header)
    texts = describe(calls)
    missing = [n for n, t in texts.items() if not t]
    if missing:
        sys.exit("make_man_pages: no description in lumo.h for " + ", ".join(missing))
    out.mkdir(parents=True, exist_ok=True)
    sections = {}
    for c in calls:
        sections.setdefault(c[0], []).append(c[1])
    for c in calls:
        # The call's other forms (LmX, LmDevX, LmXWindow) and its neighbours.
        stem = re.sub(r"^LmDev|Window$", "", c[1]).replace("Lm", "", 1)
        forms = [n for n in sections[c[0]] if n != c[1] and re.sub(
            r"^LmDev|Window$", "", n).replace("Lm", "", 1) == stem]
        related = forms or [n for n in sections[c[0]] if n != c[1]][:6]
        (out / (c[1] + ".3")).write_text(page(c, texts[c[1]], twins, related))
    index = [".SH CALLS", "Each call has a page of its own."]
    for section, names in sections.items():
        index += [".TP", roff(section), ",\n".join(".BR %s (3)" % n for n in names)]
    main_page = (src / "man" / "lumo.3").read_text()
    main_page = main_page.replace(".SH SEE ALSO", "\n".join(index) + "\n.SH SEE ALSO", 1)
    (out / "lumo.3").write_text(main_page)


if __name__ == "__main__":
    main(Path(sys.argv[1]), Path(sys.argv[2]))
