#!/usr/bin/python3
"""Reads a running program's accessibility tree from the AT-SPI registry, prints its roles and
names, and checks what a screen-reader user depends on.

Usage: atspi_tree.py <pid> [EXPECTED...]
  code=<secret>                   the live code is in the name of a focusable node
  <role>|<name>[|<description>]   a node of that role whose name starts with <name>, shown or not
  focused|<role>|<name>           the node with the keyboard is that one
  text|<name>|<words>             a node so named whose text, through the text interface, holds <words>,
                                  in attribute runs that are not empty
  tabs=<n>                        Tab, pressed n times, reaches every focusable control shown
Usage: atspi_tree.py --events
  prints, from "listening" on, each window activated ("window:activate") and each node that takes
  the keyboard ("focused <role>|<name>"), as a screen reader hears of them, until it is ended.
Every control shown (focusable, a button, a menu or its entry) must have a role and a name, every
dialog shown a name and a push button "Close"; no menu bar may hold another, and no layered pane
stand between the window and its controls. Waits up to ten
seconds for all of it.
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


def paths(node, path=()):
    yield node, path
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from paths(child, path + (i,))


def has(node, state):
    return node.getState().contains(state)


def describe(node):
    flags = [name for name, state in (("focusable", pyatspi.STATE_FOCUSABLE), ("focused", pyatspi.STATE_FOCUSED),
                                      ("showing", pyatspi.STATE_SHOWING))
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


# The window has the focus too: the item with the keyboard is the innermost.
def focused(app):
    return max((path for node, path in paths(app) if has(node, pyatspi.STATE_FOCUSED)), key=len, default=None)


# Reached from the keyboard otherwise: the bar's titles with Alt, a scroll bar with the arrows of the
# text it scrolls.
def tab_stop(node):
    role = node.getRoleName()
    parent = node.parent
    return has(node, pyatspi.STATE_FOCUSABLE) and has(node, pyatspi.STATE_SHOWING) and role != "scroll bar" \
        and not (parent is not None and parent.getRoleName() == "menu bar")


def tab_walk(app, presses):
    reached = {focused(app)}
    for _ in range(presses):
        subprocess.run(["xdotool", "key", "Tab"], check=True)
        time.sleep(0.3)
        reached.add(focused(app))
    return reached


def print_events():
    def heard(event):
        if event.type.startswith("window:"):
            print(event.type, flush=True)
        elif event.detail1:
            print("focused %s|%s" % (event.source.getRoleName(), event.source.name), flush=True)

    # Whole classes: Qt sends events only of the classes it knows listeners for.
    for kind in ("window:", "object:state-changed:focused"):
        pyatspi.Registry.registerEventListener(heard, kind)
    print("listening", flush=True)
    pyatspi.Registry.start()


def text_of(node):
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    # Orca splits a line by the attribute runs before it speaks it: an empty run, and it says nothing.
    _, start, end = text.getAttributeRun(0, False)
    if text.characterCount and end <= start:
        return None
    return text.getText(0, text.characterCount)


def holds(tree, expected):
    if expected.startswith("code="):
        return shows_code(tree, expected[5:])
    if expected.startswith("focused|"):
        _, role, name = expected.split("|")
        return any(has(node, pyatspi.STATE_FOCUSED) and node.getRoleName() == role and node.name.startswith(name)
                   for node, _ in tree)
    if expected.startswith("text|"):
        _, name, words = expected.split("|")
        return any(node.name == name and words in (text_of(node) or "") for node, _ in tree)
    role, name, *description = expected.split("|")
    return any(node.getRoleName() == role and node.name.startswith(name) and description in ([], [node.description])
               for node, _ in tree)


def problems(node):
    role, shown = node.getRoleName(), has(node, pyatspi.STATE_SHOWING)
    # Orca names a scroll bar by its role.
    if shown and (role in CONTROLS or has(node, pyatspi.STATE_FOCUSABLE)) and role != "scroll bar" \
            and (not node.name.strip() or role in ("invalid", "unknown")):
        yield "a control without a role or a name: " + describe(node)
    # "Menu bar menu bar", to a screen reader.
    if role == "menu bar" and node.parent is not None and node.parent.getRoleName() == "menu bar":
        yield "a menu bar inside the menu bar: " + describe(node)
    # Said before the focused control at every return to the window.
    if role == "layered pane":
        yield "a layered pane, which a screen reader names for nothing: " + describe(node)
    if shown and role == "dialog" and not (node.name and any(
            child.getRoleName() == "push button" and child.name == "Close" for child, _ in nodes(node))):
        yield "a dialog without a name or a push button 'Close': " + describe(node)


def main():
    if sys.argv[1:] == ["--events"]:
        return print_events()
    pid, expectations = int(sys.argv[1]), sys.argv[2:]
    deadline = time.monotonic() + 10
    walks = [int(e[5:]) for e in expectations if e.startswith("tabs=")]
    expectations = [e for e in expectations if not e.startswith("tabs=")]
    while walks and application(pid) is None and time.monotonic() < deadline:
        time.sleep(0.2)
    reached = tab_walk(application(pid), walks[0]) if walks and application(pid) is not None else None
    while True:
        app = application(pid)
        tree = list(nodes(app)) if app is not None else []
        found = ["not found: " + e for e in expectations if not holds(tree, e)]
        found += [problem for node, _ in tree for problem in problems(node)]
        if reached is not None and app is not None:
            # An open dialog holds the keyboard: what lies behind it is not Tab's to reach.
            scope = max((path for node, path in paths(app) if node.getRoleName() == "dialog"
                         and has(node, pyatspi.STATE_SHOWING)), key=len, default=())
            found += ["Tab never reaches " + describe(node) for node, path in paths(app)
                      if path[:len(scope)] == scope and tab_stop(node) and path not in reached]
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
