#!/usr/bin/python3
"""Starts a command and prints the seconds until a window with the given title is mapped on the X
display, then prints the process id so that the caller can measure and end it. Gives up after
KELMAR_XMAP_TIMEOUT seconds (default 60).
xmap_time.py TITLE COMMAND...    (needs python3-xlib)"""
import os
import subprocess
import sys
import time

from Xlib import X, display


def main():
    title, command = sys.argv[1], sys.argv[2:]
    screen = display.Display()
    root = screen.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    screen.sync()
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    limit = float(os.environ.get('KELMAR_XMAP_TIMEOUT', '60'))
    while time.monotonic() - start < limit:
        event = screen.next_event()
        if event.type == X.MapNotify:
            try:
                name = event.window.get_wm_name()
            except Exception:
                name = None
            if name == title:
                print('%.4f %d' % (time.monotonic() - start, process.pid), flush=True)
                return 0
    print('timeout %d' % process.pid)
    return 1


if __name__ == '__main__':
    sys.exit(main())
