"""Memory of a whole program: the main process and every process it started (for instance the
web engine's QtWebEngineProcess helpers), read from /proc/PID/smaps_rollup."""

import os
import re
import time

_PSS = re.compile(r"^Pss:\s+(\d+) kB", re.MULTILINE)
_PRIVATE_DIRTY = re.compile(r"^Private_Dirty:\s+(\d+) kB", re.MULTILINE)


def _parent_and_name(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as stat:
            data = stat.read()
    except OSError:
        return None, None
    name = data[data.index(b"(") + 1:data.rindex(b")")].decode(errors="replace")
    return int(data.rsplit(b")", 1)[1].split()[1]), name


def process_tree(root_pid):
    """[(pid, name)] of `root_pid` and all its descendants alive now, root first."""
    parents = {}
    names = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            parent, name = _parent_and_name(int(entry))
            if parent is not None:
                parents[int(entry)] = parent
                names[int(entry)] = name
    if root_pid not in names:
        return []
    tree, frontier = [root_pid], [root_pid]
    while frontier:
        children = sorted(pid for pid, parent in parents.items() if parent in frontier)
        tree.extend(children)
        frontier = children
    return [(pid, names[pid]) for pid in tree]


def pss_kib(pid):
    """Proportional set size of one process in KiB, or None when it has gone."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as rollup:
            match = _PSS.search(rollup.read())
    except OSError:
        return None
    return int(match.group(1)) if match else None


def private_dirty_kib(pid):
    """Memory this process has written and shares with no other (heap, stacks, its own data)
    in KiB, or None when it has gone. Unlike PSS and private clean pages, it does not move
    when other processes on the machine map the same libraries."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as rollup:
            match = _PRIVATE_DIRTY.search(rollup.read())
    except OSError:
        return None
    return int(match.group(1)) if match else None


def tree_private_dirty(root_pid):
    """Total private dirty memory in MiB over the process tree of `root_pid`."""
    return sum((private_dirty_kib(pid) or 0) for pid, _ in process_tree(root_pid)) / 1024


def tree_pss(root_pid):
    """(total MiB, [(pid, name, MiB)]) over the process tree of `root_pid`."""
    rows = []
    for pid, name in process_tree(root_pid):
        kib = pss_kib(pid)
        if kib is not None:
            rows.append((pid, name, kib / 1024))
    return sum(mib for _, _, mib in rows), rows


def settled_tree_pss(root_pid, settle=3.0, interval=0.5, timeout=30.0, tolerance_mib=1.0):
    """tree_pss once the total has stayed within `tolerance_mib` for `settle` seconds (or at
    `timeout`): memory right after a page loads or a window closes is still moving."""
    started = time.monotonic()
    total, rows = tree_pss(root_pid)
    steady_since = started
    while time.monotonic() - started < timeout:
        time.sleep(interval)
        now_total, now_rows = tree_pss(root_pid)
        if abs(now_total - total) > tolerance_mib:
            steady_since = time.monotonic()
        total, rows = now_total, now_rows
        if time.monotonic() - steady_since >= settle:
            break
    return total, rows
