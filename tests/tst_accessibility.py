# SPDX-License-Identifier: MIT
# The app driven as a screen reader, a GUI test tool or a keyboard user drives it: through AT-SPI
# (Debian's pyatspi) and keys on a virtual display, with what each page says compared with what
# the service holds. Run by accessibility_test.sh, which starts the app, its service and the buses.
import json
import os
import subprocess
import unittest

import pyatspi
from gi.repository import GLib

import zavapp
from zavapp import descendants, find, page, press, value, wait_for

ZAVCTL = os.environ["ZAVCTL"]


def held(transfer):
    """The transfer as the service holds it (zavctl show --json)."""
    out = subprocess.run([ZAVCTL, "show", "--json", transfer], capture_output=True, text=True, timeout=10)
    return json.loads(out.stdout)


def actions(node):
    try:
        actions = node.queryAction()
    except NotImplementedError:
        return []
    return [actions.getName(i) for i in range(actions.nActions)]


def area_of(node):
    """Where node is on the screen, as (left, top, right, bottom)."""
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.x + box.width, box.y + box.height


def focusable(node):
    return node.getState().contains(pyatspi.STATE_FOCUSABLE)


class Keyboard:
    def __init__(self, window):
        self.window = window
        found = subprocess.run(["xdotool", "search", "--name", "ZAV Test Application"],
                               capture_output=True, text=True, timeout=10)
        self.id = found.stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", self.id], timeout=10)

    def focused(self):
        for node in descendants(self.window):
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                return node
        return None

    def press(self, key, then=None):
        """Presses `key`, then waits until the focus is on an object named `then`."""
        subprocess.run(["xdotool", "key", "--window", self.id, key], timeout=10)
        if then is not None:
            wait_for(lambda: self.focused() is not None and self.focused().name == then,
                     lambda: "focus on %s (it is on %s)" % (then, self.focused() and self.focused().name))
            return self.focused()
        return None

    def walk(self, testcase):
        """Tabs once round the page from its first control: the order must be the page's reading
        order, then the bar's Back or Close, and every control reached must be on screen."""
        area = page(self.window)
        stops = [n.name for n in descendants(area) if focusable(n)]
        bar = find(self.window, "filler")
        escape = [n.name for n in descendants(bar) if n.getRoleName() == "push button"]
        expected = stops[1:] + escape + stops[:1]
        # What the window shows of the page: below the bar, above the window's bottom edge.
        top, bottom = area_of(bar)[3], area_of(self.window)[3]
        for name in expected:
            box = area_of(self.press("Tab", name))
            testcase.assertTrue(name in escape or top <= box[1] and box[3] <= bottom, name + " scrolled into view")
        return stops


class AppByAccessibility(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = zavapp.app()
        cls.window = find(cls.root, "frame")

    def test_1_the_keyboard_reaches_everything(self):
        keys = Keyboard(self.window)
        # At the start, and at each page change, the keys are on the page's first control.
        wait_for(lambda: keys.focused() and keys.focused().name == "Add New Transfers", "focus at the start")
        keys.walk(self)
        added = []
        for _ in range(2):
            # Add Transfer: Tab reaches every control, a list changes with the arrows, Return on
            # Add adds.
            keys.press("Return", "Transfer Name")
            self.assertEqual(page(self.window).name, "Add Transfer")
            stops = keys.walk(self)
            shown = keys.focused().description
            keys.press("Down")
            added.append(wait_for(lambda: keys.focused().description != shown and keys.focused().description,
                                  "the next name"))
            for _ in range(stops.index("Add")):
                keys.press("Tab")
            keys.press("Return", "Add New Transfers")
        # The list: rows take the keys, the arrows move between them, Return opens one.
        keys.press("Tab", "Show Transfers")
        keys.press("Return", added[0])
        rows = [n for n in descendants(page(self.window)) if n.getRoleName() == "list item"]
        self.assertEqual([row.name for row in rows], added)
        keys.walk(self)
        keys.press("Down", added[1])
        second = rows[1].description.rsplit("id ", 1)[1]
        keys.press("Return", "Transfer Name")
        self.assertEqual(page(self.window).name, "Transfer Detail")
        find(page(self.window), "label", "id " + second, timeout=1)
        keys.walk(self)
        # Esc goes back on every page.
        keys.press("Escape", added[0])
        self.assertEqual(page(self.window).name, "Show Transfer")
        keys.press("Escape", "Add New Transfers")
        self.assertEqual(page(self.window).name, "ZAV Test Application")

    def test_2_first_steps_agree_with_the_service(self):
        row = zavapp.first_steps(self.root)
        AppByAccessibility.row = row.name
        transfer = row.description.rsplit("id ", 1)[1]
        service = held(transfer)
        # 50 % through the slider is 0.5 at the service, not the nearest position's 0.49.
        self.assertEqual(service["progress"], 0.5)
        self.assertEqual(service["state"], "active")
        self.assertEqual(row.name, service["name"])
        size, estimate = "%d Bytes" % service["size"], "%d Sec" % service["estimate"]
        self.assertEqual(row.description, "Active; %s; %s; id %s" % (size, estimate, transfer))
        # The row's texts, in reading order: the first line, then the second.
        self.assertEqual([n.name for n in descendants(row)],
                         [service["name"], "Active", size, "id " + transfer, estimate])

        press(row)
        wait_for(lambda: page(self.window).name == "Transfer Detail", "the detail page")
        detail = page(self.window)
        labels = [n.name for n in descendants(detail) if n.getRoleName() == "label"]
        self.assertIn("State at the service: Active", labels)
        self.assertEqual(find(detail, "combo box", "Transfer Name").description, service["name"])
        self.assertEqual(value(find(detail, "slider", "Progress (in %)")), service["progress"] * 100)
        self.assertEqual(value(find(detail, "slider", "Size")), service["size"])
        # Each object hangs under the one that lists it (embedded controls under their window).
        for node in [self.window] + list(descendants(self.window)):
            for i in range(node.childCount):
                self.assertEqual(node.getChildAtIndex(i).parent, node, node.name)
        # Only the page shown is in the tree: no control of a page shown before.
        names = [n.name for n in descendants(self.window)]
        self.assertNotIn("Add New Transfers", names)
        self.assertEqual(names.count("Auto"), 1)
        press(find(self.window, "push button", "Back"))
        wait_for(lambda: page(self.window).name == "Show Transfer", "the list page")

    def test_3_an_answer_box_is_modal(self):
        row = find(self.window, "list item", self.row)
        transfer = row.description.rsplit("id ", 1)[1]
        subprocess.run([ZAVCTL, "request", transfer, "cancel"], check=True, capture_output=True, timeout=10)
        info = find(row, "push button", "Info")
        press(info)
        box = find(self.window, "dialog")
        self.assertEqual(box.name, "%s (id %s)" % (row.name, transfer))
        self.assertEqual(box.description, "ZAV requested Cancel")
        # It takes the keys as it opens: its default button has the focus.
        wait_for(lambda: find(box, "push button", "OK").getState().contains(pyatspi.STATE_FOCUSED), "focus on OK")
        # Nothing beneath it takes a press: not the row, its Info button, nor the bar.
        for node in (row, info, find(self.window, "push button", "Back")):
            self.assertEqual(actions(node), [], node.name)
        self.assertEqual(held(transfer)["state"], "active")
        # A screen reader following the row hears its state change.
        names = []
        listener = lambda event: names.append(event.source.name)
        pyatspi.Registry.registerEventListener(listener, "object:property-change:accessible-name")
        press(find(box, "push button", "OK"))
        wait_for(lambda: held(transfer)["state"] == "cancelled", "the cancel at the service")
        wait_for(lambda: find(self.window, "list item", self.row).description.startswith("Cancelled;"),
                 "the row cancelled")

        def heard():
            while GLib.MainContext.default().iteration(False):
                pass
            return "Cancelled" in names
        wait_for(heard, lambda: "the name change to Cancelled (heard %s)" % names)
        pyatspi.Registry.deregisterEventListener(listener, "object:property-change:accessible-name")
        self.assertEqual(actions(row), ["Press"])


if __name__ == "__main__":
    unittest.main()
