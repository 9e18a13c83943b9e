"""The web view at a browser's pixel ratio: lumo_web_flood (anti-aliased
lines all over a 640 x 480 window without a pause, the whole picture
cleared now and then) draws for a few seconds through a real headless
lumoview while one browser reads every picture, asking for them at

    ratio 1   the window's own pixels (640 x 480)
    ratio 2   drawn again from the display list at scale 2 (1280 x 960)

alternated round by round.  Printed: every round's pictures received (and
per second), their megabytes, the program's lines per second and the CPU
seconds of program and server; then the medians and the ratios of ratio 2
to ratio 1.

    web_ratio_bench.py BIN_DIR TESTS_DIR [ROUNDS] [SECONDS]"""
import os
import secrets
import selectors
import signal
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import webclient  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from server_procs import cpu_seconds, server_of  # noqa: E402

BIN, TESTS = sys.argv[1], sys.argv[2]
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
SECONDS = sys.argv[4] if len(sys.argv) > 4 else "3"


def one_round(ratio):
    """(pictures, megabytes, lines per second, program CPU s, server CPU s)."""
    folder = tempfile.mkdtemp(prefix="lumo-ratiobench-")
    session = "rb" + secrets.token_hex(6)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "LUMOVIEW_LOG")}
    env.update(LUMO_SESSION=session, LUMODIR=BIN, XDG_RUNTIME_DIR=folder, LUMOVIEW_GRACE_MS="200",
               LUMOVIEW_SERVE="127.0.0.1:0", LUMOVIEW_WEB_LINGER_MS="0")
    p = subprocess.Popen([os.path.join(TESTS, "lumo_web_flood"), SECONDS, "--wait"], env=env,
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    url = p.stderr.readline().split("web view at ", 1)[-1].strip()
    p.stdout.readline()  # waiting
    server = server_of(session)
    viewer = webclient.viewer(url)
    viewer.send_text(f"scale {ratio}")
    viewer.frame()  # the window list: the browser is watching
    before = cpu_seconds(server)
    p.stdin.write("\n")
    p.stdin.flush()
    pictures, received = 0, 0
    chooser = selectors.DefaultSelector()
    viewer.s.setblocking(False)
    chooser.register(viewer.s, selectors.EVENT_READ)
    usage = None
    buffer = bytearray(1 << 20)
    while usage is None:
        for key, _ in chooser.select(timeout=0.05):
            try:
                n = key.fileobj.recv_into(buffer)
                pictures += buffer[:n].count(b"\x89PNG") if n else 0
                received += n or 0
            except BlockingIOError:
                pass
        pid, _, rusage = os.wait4(p.pid, os.WNOHANG)
        if pid:
            usage = rusage
    after = cpu_seconds(server)
    p.returncode = 0
    line = next(text for text in p.stdout.read().splitlines() if text.startswith("lines"))
    viewer.close()
    os.kill(server, signal.SIGTERM)
    subprocess.run(["rm", "-rf", folder])
    words = line.split()
    return pictures, received / 1e6, int(words[1]) / float(words[3]), usage.ru_utime + usage.ru_stime, after - before


rows = {r: [] for r in (1, 2)}
print(f"web view at a pixel ratio: {ROUNDS} rounds of {SECONDS} s, one browser reading (a busy 2-core machine)")
print(f"{'round':>5} {'ratio':>5} {'pictures':>9} {'per s':>6} {'MB':>7} {'lines/s':>9} {'program CPU':>12} "
      f"{'server CPU':>11}")
for r in range(ROUNDS):
    for ratio in ((1, 2) if r % 2 == 0 else (2, 1)):
        pictures, mb, rate, program_cpu, server_cpu = one_round(ratio)
        rows[ratio].append((pictures / float(SECONDS), rate, server_cpu))
        print(f"{r + 1:>5} {ratio:>5} {pictures:>9} {pictures / float(SECONDS):>6.1f} {mb:>7.1f} {rate:>9.0f} "
              f"{program_cpu:>11.2f}s {server_cpu:>10.2f}s", flush=True)
med = {ratio: [statistics.median(v[i] for v in rows[ratio]) for i in range(3)] for ratio in rows}
print(f"median pictures/s: ratio 1 {med[1][0]:.1f}, ratio 2 {med[2][0]:.1f} ({med[2][0] / max(med[1][0], 1e-9):.2f}); "
      f"lines/s {med[1][1]:.0f} and {med[2][1]:.0f} ({med[2][1] / med[1][1]:.2f}); "
      f"server CPU {med[1][2]:.2f} s and {med[2][2]:.2f} s")
