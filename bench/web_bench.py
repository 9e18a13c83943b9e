"""The web view's cost to a drawing program: lumo_web_flood (anti-aliased
lines all over a 640 x 480 window, without a pause: every picture the web
view sends changes everywhere, its worst case) draws for a few seconds
through a real headless lumoview

    off     without the web view
    on      with the web view, no browser
    on+20   with the web view and 20 browsers reading every picture

alternated round by round, quiet and beside a busy process.  Printed: every
round's lines per second and the CPU seconds of program and server, then
the medians and the ratio of on+20 to on (goal: at least 0.90).

    web_bench.py BIN_DIR TESTS_DIR [ROUNDS] [SECONDS]"""
import os
import secrets
import selectors
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import webclient  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from server_procs import cpu_seconds, server_of  # noqa: E402

BIN, TESTS = sys.argv[1], sys.argv[2]
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
SECONDS = sys.argv[4] if len(sys.argv) > 4 else "3"
VIEWERS = 20


def one_round(mode):
    """(lines per second, program CPU s, server CPU s, pictures received)."""
    folder = tempfile.mkdtemp(prefix="lumo-webbench-")
    session = "wb" + secrets.token_hex(6)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "LUMOVIEW_LOG")}
    env.update(LUMO_SESSION=session, LUMODIR=BIN, XDG_RUNTIME_DIR=folder, LUMOVIEW_GRACE_MS="200",
               LUMOVIEW_LOG="/dev/null" if mode == "off" else "")
    if mode != "off":
        env.update(LUMOVIEW_SERVE="127.0.0.1:0", LUMOVIEW_WEB_LINGER_MS="0")
    p = subprocess.Popen([os.path.join(TESTS, "lumo_web_flood"), SECONDS, "--wait"], env=env,
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    url = p.stderr.readline().split("web view at ", 1)[-1].strip() if mode != "off" else ""
    p.stdout.readline()  # waiting
    server = server_of(session)
    viewers = [webclient.viewer(url) for _ in range(VIEWERS if mode == "on+20" else 0)]
    for v in viewers:
        v.frame()  # the window list: every browser is watching
    before = cpu_seconds(server)
    p.stdin.write("\n")
    p.stdin.flush()
    pictures = 0
    chooser = selectors.DefaultSelector()
    for v in viewers:
        v.s.setblocking(False)
        chooser.register(v.s, selectors.EVENT_READ)
    usage = None
    buffer = bytearray(1 << 20)
    while usage is None:
        for key, _ in chooser.select(timeout=0.05):
            try:
                n = key.fileobj.recv_into(buffer)
                pictures += buffer[:n].count(b"\x89PNG") if n else 0
            except BlockingIOError:
                pass
        if not viewers:
            time.sleep(0.05)
        pid, _, rusage = os.wait4(p.pid, os.WNOHANG)
        if pid:
            usage = rusage
    after = cpu_seconds(server)
    p.returncode = 0
    line = next(text for text in p.stdout.read().splitlines() if text.startswith("lines"))
    for v in viewers:
        v.close()
    os.kill(server, signal.SIGTERM)
    subprocess.run(["rm", "-rf", folder])
    words = line.split()
    return int(words[1]) / float(words[3]), usage.ru_utime + usage.ru_stime, after - before, pictures


def sitting(busy):
    spinner = subprocess.Popen([sys.executable, "-c", "while True: pass"]) if busy else None
    rows = {m: [] for m in ("off", "on", "on+20")}
    print(f"\n{'beside a busy process' if busy else 'quiet machine'}: {ROUNDS} rounds of {SECONDS} s")
    print(f"{'round':>5} {'mode':>6} {'lines/s':>10} {'program CPU':>12} {'server CPU':>11} {'pictures':>9}")
    try:
        for r in range(ROUNDS):
            for mode in (("off", "on", "on+20") if r % 2 == 0 else ("on+20", "on", "off")):
                rate, program_cpu, server_cpu, pictures = one_round(mode)
                rows[mode].append(rate)
                print(f"{r + 1:>5} {mode:>6} {rate:>10.0f} {program_cpu:>11.2f}s {server_cpu:>10.2f}s {pictures:>9}",
                      flush=True)
    finally:
        if spinner:
            spinner.kill()
            spinner.wait()
    med = {m: statistics.median(v) for m, v in rows.items()}
    ratio = med["on+20"] / med["on"]
    print(f"median lines/s: off {med['off']:.0f}, on {med['on']:.0f}, on+20 {med['on+20']:.0f}; "
          f"on/off {med['on'] / med['off']:.2f}; on+20/on {ratio:.2f} "
          f"(goal at least 0.90: {'met' if ratio >= 0.90 else 'NOT met'})")


sitting(False)
sitting(True)
