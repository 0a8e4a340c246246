#!/usr/bin/python3
"""Reads a running program's accessibility tree from the AT-SPI registry, prints its roles and
names, and checks what a screen-reader user depends on.

Usage: atspi_tree.py <pid> window <secret>   the live code is in the name of a focusable node
       atspi_tree.py <pid> dialog            a dialog is showing, with a push button "Close"
       atspi_tree.py <pid> closed            no dialog is showing
In the first two, no push button may be without a name. Waits up to ten seconds for the state to be reached.
"""
import re
import subprocess
import sys
import time

import pyatspi


def nodes(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from nodes(child, depth + 1)


def describe(node):
    states = node.getState()
    flags = [name for name, state in (("focusable", pyatspi.STATE_FOCUSABLE), ("showing", pyatspi.STATE_SHOWING))
             if states.contains(state)]
    return "%s %r %s" % (node.getRoleName(), node.name, " ".join(flags))


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def live_codes(secret):
    # The window may still show the previous window's code for a moment after the turn.
    now = int(time.time())
    return {subprocess.run(["oathtool", "--totp", "-d", "6", "-N", "@%d" % t, secret],
                           check=True, capture_output=True, text=True).stdout.strip() for t in (now - 2, now)}


def shows_code(tree, codes):
    # Digits may be grouped for reading: "135 784".
    patterns = [re.compile(r"(?<!\d)" + r"\s?".join(code) + r"(?!\d)") for code in codes]
    return any(node.getState().contains(pyatspi.STATE_FOCUSABLE) and any(p.search(node.name) for p in patterns)
               for node, _ in tree)


def showing_dialogs(tree):
    return [node for node, _ in tree
            if node.getRole() == pyatspi.ROLE_DIALOG and node.getState().contains(pyatspi.STATE_SHOWING)]


def has_close_button(dialog):
    return any(node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.name == "Close" for node, _ in nodes(dialog))


def main():
    pid, mode = int(sys.argv[1]), sys.argv[2]
    deadline = time.monotonic() + 10
    while True:
        app = application(pid)
        tree = list(nodes(app)) if app is not None else []
        if mode == "window":
            codes = live_codes(sys.argv[3])
            found = shows_code(tree, codes)
        elif mode == "dialog":
            found = bool(showing_dialogs(tree))
        else:
            found = not showing_dialogs(tree)
        if found or time.monotonic() > deadline:
            break
        time.sleep(0.2)
    for node, depth in tree:
        print("  " * depth + describe(node))
    problems = []
    if not tree:
        problems.append("the program never appeared on the accessibility bus")
    elif not found:
        problems.append({"window": "no focusable node names the code " + " or ".join(sorted(codes)),
                         "dialog": "no dialog is showing", "closed": "a dialog is still showing"}[mode])
    elif mode == "dialog" and not all(has_close_button(dialog) for dialog in showing_dialogs(tree)):
        problems.append('the dialog has no push button "Close"')
    unnamed = sum(1 for node, _ in tree if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and not node.name.strip())
    if unnamed and mode != "closed":
        problems.append("%d push button(s) without a name" % unnamed)
    for problem in problems:
        print("FAIL: " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
