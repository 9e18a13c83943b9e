#!/usr/bin/env python3
"""Writes include/lumo.f90, the Fortran module of the kit, from the headers:
the named constants of include/lumo.h as parameters, and for every
by-reference twin of include/lumo_ref.h an interface of the same name with
the twin's argument names, intents taken from the by-value call of lumo.h,
and assumed-length character arguments (the compiler passes the lengths, as
for a Fortran 77 call).  The module holds no code: lumo.mod is all a program
needs besides libLumo.a.  Run it after adding a call or a constant."""
import re
import sys
from pathlib import Path

ARRAYS = {"xy", "values", "t"}
# Twins that return their value directly instead of through a result argument.
FUNCTIONS = {"lmrgb", "lmpalettergb", "lmpaletteindex", "lmaspect", "lmmaxfloat", "lmgetkey",
             "lmask"}
# Twins that also write the new current window into their window argument.
WRITTEN = {"lmclose": "n", "lmselectwindow": "n"}
KEEPS_RESULT = {"lmgetposition"}
# The plotting calls take arrays and texts of any length through module
# procedures kept by hand at the module's end: the headers' plotting
# sections are left out here and that part of lumo.f90 is copied as it is.
PLOTTING_H = "/* ---- Plotting"
PLOTTING_F90 = "  ! ---- Plotting"


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


def interface(name, ret, args, kinds):
    """The interface of the twin under its Fortran name (lmtext_, the name a
    Fortran 77 call reaches): a subroutine whose first argument receives the
    result, or a function for the twins that return their value.  Character
    arguments are assumed-length, so the compiler passes their lengths where
    the twin reads them, after all other arguments."""
    is_function = name in FUNCTIONS
    visible = [(c, a) for c, a in args if c.endswith("*")]
    decls = []
    for ctype, arg in visible:
        base = ctype.replace("const ", "").rstrip(" *")
        kind = kinds.get(arg, "inout")
        if arg == "result" and not is_function:
            # lmgetposition leaves the result alone when there is no position.
            intent = "inout" if name in KEEPS_RESULT else "out"
            decls.append("%s, intent(%s) :: result" % (FTYPE[base], intent))
        elif base == "char":
            decls.append("character(len=*), intent(%s) :: %s" % (
                "in" if kind == "in" else "inout", arg))
        elif kind.startswith("array"):
            decls.append("%s, intent(%s) :: %s(*)" % (
                FTYPE[base], "in" if kind == "array_in" else "inout", arg))
        elif WRITTEN.get(name) == arg:
            decls.append("%s, intent(inout) :: %s" % (FTYPE[base], arg))
        else:
            decls.append("%s, intent(%s) :: %s" % (FTYPE[base], kind, arg))
    dummies = ", ".join(a for _, a in visible)
    if is_function:
        lines = wrap("    %s function %s(%s)" % (FTYPE[ret], name, dummies), 4)
    else:
        lines = wrap("    subroutine %s(%s)" % (name, dummies), 4)
    lines.append("      import :: c_int, c_float")
    lines += ["      " + d for d in decls]
    lines.append("    end %s %s" % ("function" if is_function else "subroutine", name))
    return lines


def main(root, target=None):
    header = (root / "include" / "lumo.h").read_text().split(PLOTTING_H)[0]
    twins = (root / "include" / "lumo_ref.h").read_text().split(PLOTTING_H)[0]
    module = root / "include" / "lumo.f90"
    old = module.read_text() if module.exists() else ""
    kept = old[old.index(PLOTTING_F90):old.rindex("end module lumo")] if PLOTTING_F90 in old else ""
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
        "! are functions.  lmclose and lmselectwindow write the new current window",
        "! into their window argument too (give a variable); lmgetposition leaves",
        "! the result alone when there is no position.  The interfaces are those",
        "! of the calls a Fortran 77 program makes without the module.",
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
    lines.append("  interface")
    for name, ret, args in procs:
        lines += interface(name, ret, args, calls.get(name, {}))
    lines.append("  end interface")
    if kept:
        lines.append(kept.rstrip("\n"))
    lines += ["end module lumo", ""]
    (target or root / "include" / "lumo.f90").write_text("\n".join(lines))


if __name__ == "__main__":
    # make_fortran_module.py [SOURCE_DIR [OUTPUT]]: OUTPUT instead of include/lumo.f90.
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent,
         Path(sys.argv[2]) if len(sys.argv) > 2 else None)
