#!/usr/bin/env python3
"""Runs a command and prints its wall time, CPU time and peak resident set size.

CPU time is user + system time of the command and every child it waited for (wait4's resource
usage). Peak RSS is the largest VmHWM of the command or any of its descendants, polled from /proc
while they run (wait4's ru_maxrss would report this Python process, whose memory the child
inherits up to its exec). Its stdout goes to the file given with --stdout (default /dev/null).

    measure.py [--stdout FILE] COMMAND ARG...
    -> wall_s=12.34 cpu_s=1.23 peak_rss_mib=12.3 exit=0
"""
import os
import subprocess
import sys
import time


def descendants(root):
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
                parents[int(entry)] = int(fields[1])
            except (OSError, IndexError, ValueError):
                pass
    found, frontier = {root}, [root]
    while frontier:
        parent = frontier.pop()
        for pid, ppid in parents.items():
            if ppid == parent and pid not in found:
                found.add(pid)
                frontier.append(pid)
    return found


def hwm_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


args = sys.argv[1:]
out_path = os.devnull
if args[:1] == ["--stdout"]:
    out_path, args = args[1], args[2:]
peak = 0
with open(out_path, "wb") as out:
    start = time.monotonic()
    child = subprocess.Popen(args, stdout=out)
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        for process in descendants(child.pid):
            peak = max(peak, hwm_kib(process))
        time.sleep(0.02)
    wall = time.monotonic() - start
print("wall_s=%.2f cpu_s=%.2f peak_rss_mib=%.1f exit=%d"
      % (wall, usage.ru_utime + usage.ru_stime, peak / 1024.0,
         os.waitstatus_to_exitcode(status)))
