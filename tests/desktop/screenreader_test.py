"""Reads the running program as a screen reader does, over the accessibility bus (AT-SPI):
the indicator speaks its caption, and the quote fields speak the leg names the window shows.
Then checks the icon that start-up gives the window, as the X server holds it.

Usage: screenreader_test.py PROGRAM. Needs a display and a private D-Bus session."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi


def wait_for(what, find, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    sys.exit(f"FAIL: {what}")


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "orbisk":
            return app
    return None


def named(root, name):
    if root is None:
        return None
    if root.name == name:
        return root
    for i in range(root.childCount):
        found = named(root.getChildAtIndex(i), name)
        if found is not None:
            return found
    return None


def main():
    folder = tempfile.mkdtemp()  # no settings file: the built-in legs
    program = shutil.copy(sys.argv[1], folder)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    # X11's own options go to Qt: -name sets the window's class.
    orbisk = subprocess.Popen([program, "-name", "orbisk-x11", "-geometry", "+40+40"], env=env)
    try:
        app = wait_for("the program on the accessibility bus", application)
        action = wait_for("the indicator named 'Action: Wait'", lambda: named(app, "Action: Wait"))
        print("indicator:", action.name, "/", action.getRoleName())
        bid = wait_for("a bid named after its leg, 'Bid, EUR/USD'", lambda: named(app, "Bid, EUR/USD"))
        bid.queryEditableText().setTextContents("1.1845")
        step = wait_for("'Rate one pip up, EUR/USD'", lambda: named(app, "Rate one pip up, EUR/USD"))
        step.queryAction().doAction(0)
        action = wait_for("the indicator to say 'Action: Sell'", lambda: named(app, "Action: Sell"))
        if action.description != "Buy 1+2 Sell 3":
            sys.exit(f"FAIL: the indicator's description is {action.description!r}")
        print("after a rate step:", action.name, "/", action.description)
        # What main does beyond the window: the icon, at the sizes title bars and switchers take.
        icon = subprocess.run(["xprop", "-name", "Orbisk", "_NET_WM_ICON"], capture_output=True, text=True).stdout
        for size in (16, 32, 48):
            if f"Icon ({size} x {size})" not in icon:
                sys.exit(f"FAIL: the window has no {size} x {size} icon")
        wm_class = subprocess.run(["xprop", "-name", "Orbisk", "WM_CLASS"], capture_output=True, text=True).stdout
        if "orbisk-x11" not in wm_class:
            sys.exit(f"FAIL: -name did not reach Qt: {wm_class}")
        print("1 passed, 0 failed")
    finally:
        orbisk.kill()
        shutil.rmtree(folder)


main()
