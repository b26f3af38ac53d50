#!/usr/bin/python3
"""Reads an application through AT-SPI as a screen reader does.

  screen_reader.py tree APP     prints APP's accessible objects, one a line,
                                indented by depth: role "name" "description"
                                [states that matter to a reader]
  screen_reader.py events APP   prints, one a line as they come, the events
                                from APP that make a reader speak: name and
                                description changes, objects added or
                                removed, announcements; "listening" first
"""
import sys

import pyatspi

STATES = {pyatspi.STATE_SHOWING: "showing", pyatspi.STATE_FOCUSABLE: "focusable", pyatspi.STATE_FOCUSED: "focused"}


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == name:
            return app
    return None


def line(accessible, depth):
    states = accessible.getState()
    shown = [word for state, word in STATES.items() if states.contains(state)]
    extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    size = "%dx%d" % (extents.width, extents.height)
    return '%s%s "%s" "%s" %s [%s]' % ("  " * depth, accessible.getRoleName(), accessible.name,
                                       accessible.description, size, " ".join(shown))


def tree(accessible, depth=0):
    print(line(accessible, depth) if depth else '%s "%s"' % (accessible.getRoleName(), accessible.name))
    for index in range(accessible.childCount):
        tree(accessible.getChildAtIndex(index), depth + 1)


def events(name):
    def heard(event):
        try:
            if event.host_application is None or event.host_application.name != name:
                return
            source = event.source
            detail = event.any_data if event.type.startswith("object:announcement") else source.name
            print('%s %s "%s"' % (event.type, source.getRoleName(), detail), flush=True)
        except Exception as error:  # an object gone by the time it is read
            print("unreadable %s: %s" % (event.type, error), flush=True)

    for kind in ("object:property-change:accessible-name", "object:property-change:accessible-description",
                 "object:children-changed", "object:announcement"):
        pyatspi.Registry.registerEventListener(heard, kind)
    print("listening", flush=True)
    pyatspi.Registry.start()


def main():
    mode, name = sys.argv[1], sys.argv[2]
    if mode == "events":
        events(name)
        return 0
    app = application(name)
    if app is None:
        print("no application %s" % name)
        return 1
    tree(app)
    return 0


if __name__ == "__main__":
    sys.exit(main())
