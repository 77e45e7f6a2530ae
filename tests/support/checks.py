"""What the browser tests share: Debian's Chromium, or a skip (77) saying
how to get it; and checks that count their failures instead of stopping at
the first."""
import os, shutil, sys

failures = []


def chromium_or_skip():
    chromium = shutil.which("chromium") or "/usr/bin/chromium"
    if not os.path.exists(chromium):
        print("chromium is not installed (scripts/deps installs it)")
        sys.exit(77)
    return chromium


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)
