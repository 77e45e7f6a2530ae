"""Headless Chromium driven through its DevTools protocol over a pipe
(--remote-debugging-pipe: fds 3 and 4, messages ended by a zero byte), run
with no network (unshare -n). For the viewer's test and its benchmark."""
import json
import os
import queue
import subprocess
import threading
import time


class Browser:
    """Chromium with its protocol on fds 3 (commands in) and 4 (answers out)."""

    def __init__(self, chromium, profile, downloads=None):
        cmd_r, self.cmd_w = os.pipe()
        self.ans_r, ans_w = os.pipe()

        def fds():
            a, b = os.dup(cmd_r), os.dup(ans_w)
            os.dup2(a, 3)
            os.dup2(b, 4)
        self.proc = subprocess.Popen(
            ["unshare", "-n", chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--remote-debugging-pipe", "--window-size=1400,1000", "--user-data-dir=" + profile, "about:blank"],
            preexec_fn=fds, pass_fds=(3, 4), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(cmd_r)
        os.close(ans_w)
        self.answers, self.events, self.next_id = queue.Queue(), [], 0
        threading.Thread(target=self._read, daemon=True).start()
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        if downloads:
            self.send("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads}, browser=True)
        for domain in ("Page", "Runtime", "Network", "Log"):
            self.send(domain + ".enable")

    def _read(self):
        buf = b""
        while chunk := os.read(self.ans_r, 1 << 16):
            buf += chunk
            while b"\0" in buf:
                msg, buf = buf.split(b"\0", 1)
                m = json.loads(msg)
                (self.answers.put(m) if "id" in m else self.events.append(m))

    def send(self, method, params=None, browser=False):
        self.next_id += 1
        m = {"id": self.next_id, "method": method, "params": params or {}}
        if not browser and hasattr(self, "session"):
            m["sessionId"] = self.session
        os.write(self.cmd_w, json.dumps(m).encode() + b"\0")
        while True:
            a = self.answers.get(timeout=60)
            if a["id"] == self.next_id:
                if "error" in a:
                    raise RuntimeError(f"{method}: {a['error']}")
                return a.get("result", {})

    def js(self, expression):
        r = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in r:
            raise RuntimeError(f"{expression}: {r['exceptionDetails']}")
        return r["result"].get("value")

    def wait(self, expression, seconds=20):
        end = time.time() + seconds
        while time.time() < end:
            value = self.js(expression)
            if value:
                return value
            time.sleep(0.05)
        raise RuntimeError("waited in vain for " + expression)

    def open(self, path, ready):
        self.send("Page.navigate", {"url": "file://" + path})
        self.wait("document.readyState == 'complete' && " + ready)

    def mouse(self, kind, point, modifiers=0, button="left", **more):
        self.send("Input.dispatchMouseEvent", {"type": kind, "x": point["x"], "y": point["y"], "modifiers": modifiers,
                                               "button": button, "clickCount": 1, **more})

    def click(self, point, modifiers=0):
        self.mouse("mousePressed", point, modifiers)
        self.mouse("mouseReleased", point, modifiers)

    def key(self, key, code, vk, text=None):
        for kind in ("keyDown", "keyUp"):
            self.send("Input.dispatchKeyEvent", {"type": kind if text is None or kind == "keyUp" else "keyDown",
                                                 "key": key, "code": code, "windowsVirtualKeyCode": vk,
                                                 **({"text": text} if text and kind == "keyDown" else {})})

    def close(self):
        self.proc.kill()
        self.proc.wait()
