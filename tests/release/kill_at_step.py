#!/usr/bin/python3
"""Runs a command and SIGKILLs it at the Nth change of a folder (a file made, renamed or deleted), as a
crash or a power cut would cut it short there.

kill_at_step.py DIR N COMMAND...
Exits 0 when the command was killed at that step, 3 when it ended by itself before it (its exit code
and the number of changes seen are printed), 4 when neither happened within 120 seconds. stdlib only.
"""
import ctypes
import os
import select
import signal
import struct
import subprocess
import sys
import time

IN_CREATE, IN_MOVED_FROM, IN_MOVED_TO, IN_DELETE = 0x100, 0x40, 0x80, 0x200
libc = ctypes.CDLL(None, use_errno=True)


def main():
    folder, step, command = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    fd = libc.inotify_init()
    if fd < 0 or libc.inotify_add_watch(fd, folder.encode(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE) < 0:
        print('cannot watch', folder)
        return 1
    process = subprocess.Popen(command)
    seen = 0
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        if select.select([fd], [], [], 0.05)[0]:
            data = os.read(fd, 65536)
            offset = 0
            while offset < len(data):
                length = struct.unpack_from('iIII', data, offset)[3]
                offset += 16 + length
                seen += 1
                if seen == step:
                    process.send_signal(signal.SIGKILL)
                    process.wait()
                    return 0
        elif process.poll() is not None:
            print('ended with exit code %d after %d changes' % (process.returncode, seen))
            return 3
    process.kill()
    return 4


if __name__ == '__main__':
    sys.exit(main())
