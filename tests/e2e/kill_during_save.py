#!/usr/bin/python3
"""Watches a folder with inotify for the start of a save (a new *.tmp file) and then either measures
the save (until apps.dat is replaced) or kills a process a given time after the save began.

kill_during_save.py DIR measure          prints the save's duration in microseconds
kill_during_save.py DIR kill PID DELAY   SIGKILLs PID DELAY microseconds after the save began
Exits 3 when no save began within 60 seconds. stdlib only (ctypes).
"""
import ctypes
import os
import select
import signal
import struct
import sys
import time

IN_CREATE, IN_MOVED_TO = 0x100, 0x80
libc = ctypes.CDLL(None, use_errno=True)


def events(fd, deadline):
    while True:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            return
        data = os.read(fd, 65536)
        offset = 0
        while offset < len(data):
            _, mask, _, length = struct.unpack_from('iIII', data, offset)
            name = data[offset + 16:offset + 16 + length].rstrip(b'\0').decode(errors='replace')
            offset += 16 + length
            yield mask, name, time.monotonic()


def main():
    folder, mode = sys.argv[1], sys.argv[2]
    fd = libc.inotify_init()
    libc.inotify_add_watch(fd, folder.encode(), IN_CREATE | IN_MOVED_TO)
    print('watching', flush=True)
    deadline = time.monotonic() + 60
    began = None
    for mask, name, when in events(fd, deadline):
        if began is None and mask & IN_CREATE and name.lower().endswith('.tmp'):
            began = when
            if mode == 'kill':
                pid, delay = int(sys.argv[3]), int(sys.argv[4]) / 1e6
                while time.monotonic() < began + delay:
                    pass
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass  # a faster save than the one measured: the process had already ended
                return 0
        elif began is not None and mask & IN_MOVED_TO and name.lower() == 'apps.dat':
            print(int((when - began) * 1e6))
            return 0
    return 3


if __name__ == '__main__':
    sys.exit(main())
