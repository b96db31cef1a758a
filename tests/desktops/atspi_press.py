"""`atspi_press.py NAME`: presses the program's menu item NAME through the accessibility bus, as a
screen reader's user may. The status is 0 when it was found and pressed."""

import sys

import pyatspi


def find(node, name, depth=0):
    if node is None or depth > 12:
        return None
    if node.name == name and node.getRoleName() == "menu item":
        return node
    found = (find(node.getChildAtIndex(i), name, depth + 1) for i in range(node.childCount))
    return next((control for control in found if control is not None), None)


control = find(pyatspi.Registry.getDesktop(0), sys.argv[1], -1)  # the programs are its children
if control is None:
    sys.exit(1)
control.queryAction().doAction(0)
