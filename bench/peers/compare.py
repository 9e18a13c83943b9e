#!/usr/bin/python3
"""The same three figures (line chart with error bars and legend, histogram,
field with colour bar and contours) drawn by the kit, giza and PLplot:
lines of code, time to a 640 x 480 PNG (wall and CPU, every round printed,
programs alternated) and the pictures.

    bench/peers/compare.py [BUILD_DIR] [ROUNDS] [PICTURES_DIR]

BUILD_DIR holds lib/libLumo.a and bin/lumoview (default build/native).  The
kit's programs are the tutorial's (docs/tutorial); its time runs from the
start of a headless server to the program's end (LmQuit waits for the PNG),
and its CPU time is the program's and the server's.  Needs giza-dev and
libplplot-dev."""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/native"))
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
PICTURES = sys.argv[3] if len(sys.argv) > 3 else None
TUTORIAL = os.path.join(ROOT, "docs/tutorial")
PEERS = os.path.join(ROOT, "bench/peers")
FIGURES = [("damped", "damped.dat"), ("heights", "heights.dat"), ("field", None)]
TOOLS = ["kit", "giza", "plplot"]


def source(tool, figure):
    return os.path.join(TUTORIAL, figure + ".c") if tool == "kit" else os.path.join(PEERS, "%s_%s.c" % (tool, figure))


def build(tool, figure, out):
    libs = {"kit": ["-I" + os.path.join(ROOT, "include"), "-L" + os.path.join(BUILD, "lib"), "-lLumo"],
            "giza": ["-lgiza"],
            "plplot": subprocess.run(["pkg-config", "--cflags", "--libs", "plplot"], capture_output=True,
                                     text=True, check=True).stdout.split()}[tool]
    exe = os.path.join(out, "%s_%s" % (tool, figure))
    subprocess.run(["gcc", "-O2", source(tool, figure)] + libs + ["-lm", "-o", exe], check=True)
    return exe


def code_lines(path):
    """Lines that are not blank and not only a comment; and of those, the
    lines that make the figure (from opening the output to its end)."""
    total, figure, inside, in_comment = 0, 0, False, False
    for line in open(path):
        s = line.strip()
        if in_comment:
            in_comment = "*/" not in s
            continue
        if not s or s.startswith("//"):
            continue
        if s.startswith("/*"):
            in_comment = "*/" not in s
            continue
        total += 1
        if any(k in s for k in ("LmOpen", "giza_open_device", "plsdev")):
            inside = True
        if inside:
            figure += 1
        if any(k in s for k in ("LmQuit", "giza_close_device", "plend")):
            inside = False
    return total, figure


def run_once(tool, exe, data, work):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    args = [exe] + ([os.path.join(TUTORIAL, data)] if data else [])
    start = time.perf_counter()
    if tool == "kit":
        env = dict(os.environ, LUMO_SESSION="peers%d" % os.getpid(), LUMODIR=os.path.join(BUILD, "bin"),
                   LUMOVIEW_SAVE=work + ":png", LUMOVIEW_GRACE_MS="100", LUMOVIEW_READY_FD="1")
        env.pop("DISPLAY", None)
        server = subprocess.Popen([os.path.join(BUILD, "bin/lumoview"), "--headless"], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, cwd=work)
        if server.stdout.readline().strip() != b"ready":
            raise SystemExit("the server did not start")
        env.pop("LUMOVIEW_READY_FD")
        subprocess.run(args, env=env, cwd=work, check=True, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        server.wait(timeout=60)
    else:
        subprocess.run(args, cwd=work, check=True, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def picture(tool, figure, exe, work):
    names = {"kit": os.path.basename(exe) + "-1.png", "giza": "giza-%s.png" % figure,
             "plplot": "plplot-%s.png" % figure}
    return os.path.join(work, names[tool])


def main():
    work = tempfile.mkdtemp(prefix="lumo_peers_")
    try:
        exes = {(t, f): build(t, f, work) for t in TOOLS for f, _ in FIGURES}
        print("lines of code (whole program / figure part):")
        for f, _ in FIGURES:
            print("  %-8s " % f + "  ".join("%s %d/%d" % ((t,) + code_lines(source(t, f))) for t in TOOLS))
        results = {k: [] for k in exes}
        for r in range(ROUNDS):
            line = []
            for f, data in FIGURES:
                order = TOOLS[r % 3:] + TOOLS[:r % 3]  # who goes first changes each round
                for t in order:
                    wall, cpu = run_once(t, exes[(t, f)], data, work)
                    results[(t, f)].append((wall, cpu))
                    line.append("%s/%s %.3f (%.3f)" % (t, f, wall, cpu))
            print("round %d: " % (r + 1) + "  ".join(line))
        print("median seconds to PNG, wall (CPU):")
        for f, _ in FIGURES:
            print("  %-8s " % f + "  ".join(
                "%s %.3f (%.3f)" % (t, statistics.median(w for w, _ in results[(t, f)]),
                                     statistics.median(c for _, c in results[(t, f)])) for t in TOOLS))
        if PICTURES:
            os.makedirs(PICTURES, exist_ok=True)
            for (t, f), exe in exes.items():
                if t == "kit":  # the kit's pictures are the tutorial's (docs/img/tutorial-*.png)
                    continue
                shutil.copy(picture(t, f, exe, work), os.path.join(PICTURES, "peers-%s-%s.png" % (t, f)))
            print("pictures in", PICTURES)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
