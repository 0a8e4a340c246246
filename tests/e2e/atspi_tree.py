#!/usr/bin/python3
"""Reads a running program's accessibility tree from the AT-SPI registry, prints its roles and
names, and checks what a screen-reader user depends on.

Usage: atspi_tree.py <pid> [EXPECTED...]
  code=<secret>                   the live code is in the name of a focusable node
  <role>|<name>[|<description>]   a node of that role whose name starts with <name>, shown or not
Every control shown (focusable, a button, a menu or its entry) must have a role and a name, and
every dialog shown a name and a push button "Close". Waits up to ten seconds for all of it.
"""
import re
import subprocess
import sys
import time

import pyatspi

CONTROLS = {"push button", "menu item", "menu bar"}


def nodes(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from nodes(child, depth + 1)


def has(node, state):
    return node.getState().contains(state)


def describe(node):
    flags = [name for name, state in (("focusable", pyatspi.STATE_FOCUSABLE), ("showing", pyatspi.STATE_SHOWING))
             if has(node, state)]
    return "%s %r %s %s" % (node.getRoleName(), node.name, " ".join(flags), node.description and repr(node.description))


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def shows_code(tree, secret):
    # The window may still show the previous window's code for a moment after the turn; digits
    # may be grouped for reading: "135 784".
    now = int(time.time())
    codes = {subprocess.run(["oathtool", "--totp", "-d", "6", "-N", "@%d" % t, secret],
                            check=True, capture_output=True, text=True).stdout.strip() for t in (now - 2, now)}
    patterns = [re.compile(r"(?<!\d)" + r"\s?".join(code) + r"(?!\d)") for code in codes]
    return any(has(node, pyatspi.STATE_FOCUSABLE) and any(p.search(node.name) for p in patterns) for node, _ in tree)


def holds(tree, expected):
    if expected.startswith("code="):
        return shows_code(tree, expected[5:])
    role, name, *description = expected.split("|")
    return any(node.getRoleName() == role and node.name.startswith(name) and description in ([], [node.description])
               for node, _ in tree)


def problems(node):
    role, shown = node.getRoleName(), has(node, pyatspi.STATE_SHOWING)
    # Orca names a scroll bar by its role.
    if shown and (role in CONTROLS or has(node, pyatspi.STATE_FOCUSABLE)) and role != "scroll bar" \
            and (not node.name.strip() or role in ("invalid", "unknown")):
        yield "a control without a role or a name: " + describe(node)
    if shown and role == "dialog" and not (node.name and any(
            child.getRoleName() == "push button" and child.name == "Close" for child, _ in nodes(node))):
        yield "a dialog without a name or a push button 'Close': " + describe(node)


def main():
    pid, expectations = int(sys.argv[1]), sys.argv[2:]
    deadline = time.monotonic() + 10
    while True:
        app = application(pid)
        tree = list(nodes(app)) if app is not None else []
        found = ["not found: " + e for e in expectations if not holds(tree, e)]
        found += [problem for node, _ in tree for problem in problems(node)]
        if tree and not found or time.monotonic() > deadline:
            break
        time.sleep(0.2)
    for node, depth in tree:
        print("  " * depth + describe(node))
    for problem in found if tree else ["the program never appeared on the accessibility bus"]:
        print("FAIL: " + problem, file=sys.stderr)
    return 0 if tree and not found else 1


if __name__ == "__main__":
    sys.exit(main())
