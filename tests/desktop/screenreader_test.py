"""Reads the running program as a screen reader does, over the accessibility bus (AT-SPI):
the controls speak the leg names the window shows, and the indicator its signal and reason.
Then checks what the X server holds of the window: the icon sizes, and the class that Qt's
-name option sets.

Usage: screenreader_test.py PROGRAM. Needs a display and a private D-Bus session."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi


def named(root, name):
    if root is None or root.name == name:
        return root
    for i in range(root.childCount):
        found = named(root.getChildAtIndex(i), name)
        if found is not None:
            return found
    return None


def control_names(root):
    names = []
    for child in (root.getChildAtIndex(i) for i in range(root.childCount)):
        if child.getRoleName() in ("push button", "text"):
            names.append(child.name)
        names += control_names(child)
    return names


def wait_for(name, root=None, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = named(root or pyatspi.Registry.getDesktop(0), name)
        if found is not None:
            return found
        time.sleep(0.1)
    sys.exit(f"FAIL: nothing named {name!r}")


def x_property(name):
    return subprocess.run(["xprop", "-name", "Orbisk", name], capture_output=True, text=True).stdout


def main():
    folder = tempfile.mkdtemp()  # no settings file: the built-in legs
    program = shutil.copy(sys.argv[1], folder)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    orbisk = subprocess.Popen([program, "-name", "orbisk-x11", "-geometry", "+40+40"], env=env)
    try:
        app = wait_for("orbisk")
        wait_for("Action: Wait", app)
        # Each leg's bid, ask, spread and four step buttons say which leg they belong to.
        for leg in ("GBP/USD", "EUR/GBP", "EUR/USD"):
            if sum(name.endswith(", " + leg) for name in control_names(app)) != 7:
                sys.exit(f"FAIL: not 7 controls name {leg}: {control_names(app)}")
        wait_for("Bid, EUR/USD", app).queryEditableText().setTextContents("1.1845")
        wait_for("Rate one pip up, EUR/USD", app).queryAction().doAction(0)
        action = wait_for("Action: Sell", app)
        if action.description != "Buy 1+2 Sell 3":
            sys.exit(f"FAIL: the indicator's description is {action.description!r}")
        for size in (16, 32, 48):
            if f"Icon ({size} x {size})" not in x_property("_NET_WM_ICON"):
                sys.exit(f"FAIL: the window has no {size} x {size} icon")
        if "orbisk-x11" not in x_property("WM_CLASS"):
            sys.exit(f"FAIL: -name did not reach Qt: {x_property('WM_CLASS')}")
        print("1 passed, 0 failed")
    finally:
        orbisk.kill()
        shutil.rmtree(folder)


main()
