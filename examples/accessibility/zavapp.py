#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Drive the ZAV Test Application through the desktop's accessibility layer (AT-SPI).

A tester's GUI run, as a screen reader or a GUI test tool sees the app: every text on a page is
an object of the tree (labels as "static" text, a transfer's row as a "list item" named by the
transfer and described by its state, message, size, estimate and id), and every control is named
by its caption. Buttons and rows are pressed, lists picked from ("Pick Active"), sliders set in
the unit they show (per cent for progress), fields typed into.

Needs Debian's python3-pyatspi, an accessibility bus (at-spi-bus-launcher) and the app started
with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1. Run as a program, it walks the README's first steps
(the app and its service already running):

    /usr/bin/python3 examples/accessibility/zavapp.py

Imported, its helpers are the building blocks of a test of one's own.
"""

import sys
import time
import warnings

import pyatspi

# pyatspi calls libatspi functions that newer versions mark deprecated; the calls work.
warnings.filterwarnings("ignore", category=DeprecationWarning)

TIMEOUT = 10.0


def wait_for(condition, what, timeout=TIMEOUT):
    """The first true value of condition() within timeout seconds; fails saying what was awaited."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except Exception:  # an object going while it is read: ask again
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("not seen within %g s: %s" % (timeout, what() if callable(what) else what))
        time.sleep(0.05)


def app(name="zavtestapp", timeout=TIMEOUT):
    """The app's root object on the accessibility bus."""
    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            child = desktop.getChildAtIndex(i)
            if child is not None and child.name == name:
                return child
        return None
    return wait_for(look, "the application " + name, timeout)


def visible(node):
    """Shown by the app (SHOWING says on screen too: a page's lower part is not until scrolled)."""
    return node.getState().contains(pyatspi.STATE_VISIBLE)


def descendants(node):
    """Every object under node that is shown, depth first (the reading order)."""
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None or not visible(child):
            continue
        yield child
        yield from descendants(child)


def find(root, role=None, name=None, timeout=TIMEOUT):
    """The first shown object under root with that role name ("push button") and name."""
    def look():
        for node in descendants(root):
            if (role is None or node.getRoleName() == role) and (name is None or node.name == name):
                return node
        return None
    return wait_for(look, "%s named %r" % (role or "an object", name), timeout)


def texts(root):
    """What the page says: (role, name, description) of every shown object, in reading order."""
    return [(n.getRoleName(), n.name, n.description) for n in descendants(root)]


def act(node, action):
    """Does the action named `action` ("Press", "Pick Active") of node."""
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        raise AssertionError("%r has no action %r (it has %s)" % (node.name, action, names))
    actions.doAction(names.index(action))


def press(node):
    act(node, "Press")


def pick(combo, entry):
    act(combo, "Pick " + entry)


def set_value(node, value):
    node.queryValue().currentValue = value


def value(node):
    return node.queryValue().currentValue


def type_text(field, text):
    field.queryEditableText().setTextContents(text)


def page(window):
    """The page shown now (a "panel" named by its title)."""
    return find(window, "panel")


def first_steps(root):
    """The README's first steps, by accessibility alone. Returns the transfer's row."""
    window = find(root, "frame")
    press(find(window, "push button", "Add New Transfers"))
    wait_for(lambda: page(window).name == "Add Transfer", "the Add Transfer page")
    state = find(page(window), "combo box", "Transfer Status")
    pick(state, "Active")
    wait_for(lambda: state.description == "Active", "Active picked")
    name = find(page(window), "combo box", "Transfer Name").description
    press(find(page(window), "push button", "Add"))
    press(find(window, "push button", "Show Transfers"))
    row = find(window, "list item", name)
    wait_for(lambda: row.description.startswith("Active;"), "the row Active: " + row.description)
    press(row)
    progress = find(page(window), "slider", "Progress (in %)")
    set_value(progress, 50)
    wait_for(lambda: value(progress) == 50, "progress at 50 %")
    press(find(window, "push button", "Back"))
    return find(window, "list item", name)


def answer(window, row_name, button="OK", timeout=TIMEOUT):
    """Waits up to timeout seconds for the row's Info button, presses it and then the answer
    box's `button`; returns the box's question."""
    row = find(window, "list item", row_name)
    press(find(row, "push button", "Info", timeout))
    box = find(window, "dialog")
    question = box.description
    press(find(box, "push button", button))
    wait_for(lambda: not any(n.getRoleName() == "dialog" for n in descendants(window)), "the box closed")
    return question


if __name__ == "__main__":
    root = app()
    row = first_steps(root)
    print("Registered %r: %s" % (row.name, row.description))
    print("Now ask for a cancel (zavctl request %s cancel): this answers it (2 minutes)."
          % row.description.rsplit("id ", 1)[1])
    print("Answered:", answer(find(root, "frame"), row.name, "OK", timeout=120))
    sys.exit(0)
