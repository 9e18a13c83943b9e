"""What the web view's tests need of a browser without one: HTTP requests,
a WebSocket viewer (RFC 6455, client side: masked frames out, frames in),
and Chromium driven over its DevTools protocol for screenshots."""
import base64
import http.client
import json
import os
import socket
import struct
import subprocess
import tempfile
import time
import urllib.parse


def get(url, path):
    """(status, headers, body) of GET path on the server of url."""
    u = urllib.parse.urlsplit(url)
    c = http.client.HTTPConnection(u.hostname, u.port, timeout=20)
    c.request("GET", path)
    r = c.getresponse()
    body = r.read()
    c.close()
    return r.status, dict((k.lower(), v) for k, v in r.getheaders()), body


class Socket:
    """A WebSocket connection; frames() yields (opcode, payload)."""

    def __init__(self, host, port, path, timeout=20):
        self.s = socket.create_connection((host, port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        self.s.sendall((f"GET {path} HTTP/1.1\r\nHost: {host}:{port}\r\nUpgrade: websocket\r\n"
                        f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                        "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.s.recv(1)
            if not chunk:
                break
            head += chunk
        self.status = int(head.split(b" ")[1]) if head.startswith(b"HTTP/") else 0
        self.buffer = b""

    def _take(self, n):
        while len(self.buffer) < n:
            chunk = self.s.recv(1 << 16)
            if not chunk:
                raise EOFError("connection closed")
            self.buffer += chunk
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def frame(self):
        b0, b1 = self._take(2)
        n = b1 & 127
        if n == 126:
            n = struct.unpack(">H", self._take(2))[0]
        elif n == 127:
            n = struct.unpack(">Q", self._take(8))[0]
        return b0 & 15, self._take(n)

    def send_text(self, text, opcode=1):
        data = text.encode()
        mask = os.urandom(4)
        head = bytes([0x80 | opcode, 0x80 | len(data)]) if len(data) < 126 else \
            bytes([0x80 | opcode, 0xFE]) + struct.pack(">H", len(data))
        self.s.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def close(self):
        self.s.close()


def viewer(url):
    """A WebSocket viewer of the server at url (its token taken from url)."""
    u = urllib.parse.urlsplit(url)
    return Socket(u.hostname, u.port, "/ws?" + u.query)


class Chromium:
    """Headless Chromium with a DevTools connection to one page."""

    def __init__(self, width=1200, height=1000, ratio=1):
        # The browser's profile and, beside it, its temporary and runtime
        # files (which it leaves when ended): all in one folder of its own.
        self.profile = tempfile.mkdtemp(prefix="lumo-chromium-")
        data, scratch = os.path.join(self.profile, "data"), os.path.join(self.profile, "tmp")
        os.mkdir(scratch, 0o700)
        self.p = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             f"--force-device-scale-factor={ratio}", "--hide-scrollbars", "--remote-debugging-port=0",
             f"--user-data-dir={data}", f"--window-size={width},{height}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env={**os.environ, "TMPDIR": scratch, "XDG_RUNTIME_DIR": scratch})
        try:
            port_file = os.path.join(data, "DevToolsActivePort")
            for _ in range(300):
                if os.path.exists(port_file) and open(port_file).read().count("\n") >= 1:
                    break
                time.sleep(0.1)
            port, path = open(port_file).read().split("\n")[:2]
            targets = json.loads(get(f"http://127.0.0.1:{port}/", "/json")[2])
            page = next(t for t in targets if t["type"] == "page")
            page_path = urllib.parse.urlsplit(page["webSocketDebuggerUrl"]).path
            self.ws = Socket("127.0.0.1", int(port), page_path, timeout=60)
        except BaseException:  # no browser: nothing of it is left
            self.p.kill()
            self.p.wait()
            subprocess.run(["rm", "-rf", self.profile])
            raise
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send_text(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            _, payload = self.ws.frame()
            answer = json.loads(payload)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer["result"]

    def evaluate(self, expression):
        return self.call("Runtime.evaluate", expression=expression, returnByValue=True)["result"].get("value")

    def screenshot(self, x, y, w, h):
        shot = self.call("Page.captureScreenshot", format="png",
                         clip={"x": x, "y": y, "width": w, "height": h, "scale": 1},
                         captureBeyondViewport=True)
        return base64.b64decode(shot["data"])

    def quit(self):
        self.ws.close()
        self.p.terminate()
        try:
            self.p.wait(10)
        except subprocess.TimeoutExpired:
            self.p.kill()
            self.p.wait()
        # Its helper processes may still write into the profile as they end.
        for _ in range(50):
            subprocess.run(["rm", "-rf", self.profile])
            time.sleep(0.1)
            if not os.path.exists(self.profile):
                break
