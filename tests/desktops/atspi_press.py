"""Presses a menu item of the program by its name through the accessibility bus, as a screen
reader's user may: `atspi_press.py NAME`. The status is 0 when it was found and pressed."""

import sys

import pyatspi


def find(node, name, depth=0):
    if node is None or depth > 12:
        return None
    if node.name == name and node.getRoleName() == "menu item":
        return node
    found = (find(node.getChildAtIndex(i), name, depth + 1) for i in range(node.childCount))
    return next((control for control in found if control is not None), None)


for app in pyatspi.Registry.getDesktop(0):
    if (control := find(app, sys.argv[1])) is not None:
        control.queryAction().doAction(0)
        sys.exit(0)
sys.exit(1)
