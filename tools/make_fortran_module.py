#!/usr/bin/env python3
"""Writes include/lumo.f90, the Fortran module of the kit, from the headers:
the named constants of include/lumo.h as parameters, and for every
by-reference twin of include/lumo_ref.h a module procedure of the same name
with the twin's argument names, intents taken from the by-value call of
lumo.h, and assumed-length character arguments (no hidden lengths to give).
Run it after adding a call or a constant."""
import re
import sys
from pathlib import Path

ARRAYS = {"xy", "values", "t"}
# Twins that return their value directly instead of through a result argument.
FUNCTIONS = {"lmrgb", "lmpalettergb", "lmpaletteindex", "lmaspect", "lmmaxfloat", "lmgetkey",
             "lmask"}
# Twins that also write the new current window into their window argument:
# the module passes a copy, so a constant may be given.
COPIED = {"lmclose": "n", "lmselectwindow": "n"}


def by_value_calls(header):
    """lower-case name -> {argument: 'in' | 'inout' | 'array_in' | 'array_inout'}."""
    calls = {}
    for m in re.finditer(r"^(?:int|float) (Lm\w+)\(([^)]*)\);", header, re.M):
        params = " ".join(m.group(2).split())
        kinds = {}
        if params != "void":
            for p in params.split(","):
                p = p.strip()
                name = re.split(r"[ *]", p)[-1]
                pointer = "*" in p
                const = p.startswith("const ")
                if name in ARRAYS and pointer:
                    kinds[name] = "array_in" if const else "array_inout"
                else:
                    kinds[name] = "inout" if pointer and not const else "in"
        calls[m.group(1).lower()] = kinds
    return calls


def constants(header):
    """The header's plain integer #defines, in order."""
    out = []
    for m in re.finditer(r"^#define (LM_\w+) +\(?(-?(?:0x[0-9A-Fa-f]+|\d+))\)?(?: |$)", header,
                         re.M):
        out.append((m.group(1), int(m.group(2), 0)))
    return out


def wrap(line, indent):
    """Free-form lines stay within 100 columns."""
    out, rest = [], line
    while len(rest) > 100:
        cut = rest.rfind(", ", 0, 96) + 2
        out.append(rest[:cut].rstrip() + " &")
        rest = " " * (indent + 4) + rest[cut:]
    out.append(rest)
    return out


FTYPE = {"int": "integer(c_int)", "float": "real(c_float)", "char": "character(kind=c_char)"}


def binding(name, ret, args):
    """The interface of the C twin itself, under the private name c_<twin>."""
    head = "      %s function c_%s(%s) bind(C, name=\"%s\")" % (
        FTYPE[ret], name, ", ".join(a for _, a in args), name)
    lines = ["    interface"] + wrap(head, 6) + ["        import :: c_int, c_float, c_char"]
    for ctype, arg in args:
        base = ctype.replace("const ", "").rstrip(" *")
        if ctype.endswith("*"):
            dims = "(*)" if arg in ARRAYS or base == "char" else ""
            lines.append("        %s :: %s%s" % (FTYPE[base], arg, dims))
        else:
            lines.append("        %s, value :: %s" % (FTYPE[base], arg))
    lines += ["      end function c_%s" % name, "    end interface"]
    return lines


def procedure(name, ret, args, kinds):
    """The module procedure: a subroutine storing the result in its first
    argument, or a function for the twins that return their value."""
    is_function = name in FUNCTIONS
    lengths = [a for c, a in args if not c.endswith("*")]
    visible = [(c, a) for c, a in args if c.endswith("*")]
    strings = [a for c, a in visible if c.startswith("char")]
    decls, call = [], []
    for ctype, arg in visible:
        base = ctype.replace("const ", "").rstrip(" *")
        kind = kinds.get(arg, "inout")
        if arg == "result" and not is_function:
            decls.append("%s, intent(out) :: result" % FTYPE[base])
            call.append("copy")
        elif base == "char":
            intent = "in" if kind == "in" else "inout"
            decls.append("character(len=*), intent(%s) :: %s" % (intent, arg))
            call.append(arg)
        elif kind.startswith("array"):
            intent = "in" if kind == "array_in" else "inout"
            decls.append("%s, intent(%s) :: %s(*)" % (FTYPE[base], intent, arg))
            call.append(arg)
        elif COPIED.get(name) == arg:
            decls.append("%s, intent(in) :: %s" % (FTYPE[base], arg))
            call.append(arg + "_copy")
        else:
            decls.append("%s, intent(%s) :: %s" % (FTYPE[base], kind, arg))
            call.append(arg)
    call += ["len(%s, c_int)" % s for s in strings]
    assert len(lengths) == len(strings), name
    dummies = ", ".join(a for _, a in visible)
    lines = []
    if is_function:
        lines += wrap("  %s function %s(%s)" % (FTYPE[ret], name, dummies), 2)
    else:
        lines += wrap("  subroutine %s(%s)" % (name, dummies), 2)
    lines += ["    " + d for d in decls]
    lines += binding(name, ret, args)
    invoke = "c_%s(%s)" % (name, ", ".join(call))
    if is_function:
        lines += wrap("    %s = %s" % (name, invoke), 4)
        lines.append("  end function %s" % name)
        return lines
    lines.append("    integer(c_int) :: copy")
    if name in COPIED:
        lines.append("    integer(c_int) :: %s_copy" % COPIED[name])
        lines.append("    %s_copy = %s" % (COPIED[name], COPIED[name]))
    lines.append("    copy = 0")
    lines += wrap("    result = %s" % invoke, 4)
    lines.append("  end subroutine %s" % name)
    return lines


def main(root, target=None):
    header = (root / "include" / "lumo.h").read_text()
    twins = (root / "include" / "lumo_ref.h").read_text()
    calls = by_value_calls(header)
    lines = [
        "! Lumo for modern Fortran: the kit's named constants and every call.",
        "! Generated by tools/make_fortran_module.py from include/lumo.h and lumo_ref.h.",
        "!",
        "! Each call is a subroutine of the by-reference twin's name whose first",
        "! argument receives the result; texts are plain character arguments of any",
        "! length, and the arguments have names, so both of these work:",
        "!   call lmtext(ir, 1.0, 9.0, 'Hello')",
        "!   call lmsetpen(ir, colour=LM_RED, style=LM_PEN_DASH, width=2, mode=LM_MODE_SMOOTH)",
        "! lmrgb, lmpalettergb, lmpaletteindex, lmaspect, lmmaxfloat, lmgetkey and lmask",
        "! are functions.  lmclose and lmselectwindow take their window number as a",
        "! value (the new current window comes back in the result); lmgetposition",
        "! stores 0 in the result when there is no position.  Fortran 77 programs",
        "! call the twins themselves, without the module.",
        "module lumo",
        "  use, intrinsic :: iso_c_binding, only: c_int, c_float, c_char",
        "  implicit none",
    ]
    for name, value in constants(header):
        lines.append("  integer(c_int), parameter :: %s = %d" % (name, value))
    procs = []
    for m in re.finditer(r"^(int|float) (lm[a-z0-9]+)\(([^)]*)\);", twins, re.M):
        ret, name, params = m.groups()
        args = []
        if params != "void":
            for p in params.split(", "):
                pm = re.match(r"((?:const )?(?:int|float|char) ?\*?)\s*(\w+)$", p)
                if not pm:
                    raise ValueError("cannot read %s in %s" % (p, name))
                args.append((pm.group(1).strip(), pm.group(2)))
        procs.append((name, ret, args))
    lines.append("contains")
    for name, ret, args in procs:
        lines += procedure(name, ret, args, calls.get(name, {}))
    lines += ["end module lumo", ""]
    (target or root / "include" / "lumo.f90").write_text("\n".join(lines))


if __name__ == "__main__":
    # make_fortran_module.py [SOURCE_DIR [OUTPUT]]: OUTPUT instead of include/lumo.f90.
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent,
         Path(sys.argv[2]) if len(sys.argv) > 2 else None)
