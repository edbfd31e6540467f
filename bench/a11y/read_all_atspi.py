#!/usr/bin/python3
"""Read All as a person with a screen reader meets it, timed from outside.

An AT-SPI client, like a screen reader, finds regdiag-sim's log pane and its
Read All Registers button, presses the button through the button's own
accessible action, and asks the log pane for its character count every
10 ms until the count has stood still for a second. The log pane shows new
entries in batches (at most ten a second), so the count moves in steps; each
step's time and the number of lines shown then are kept.

Figures per run, on stdout, one line each:
  shown_s    first change to last change of the character count: the time a
             person waits between the first and the last entries showing
  step_ms    the time of one step of the sequence (a read and its 10 ms
             pause), from a straight line through (time, lines shown) over
             the run's changes
  lines      lines the run added

usage: read_all_atspi.py APP_NAME RUNS
"""
import os
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

POLL_S = float(os.environ.get("READ_ALL_POLL_MS", "10")) / 1000
QUIET_S = 1.0


def find(node, role, name, depth=0):
    if node is None or depth > 12:
        return None
    try:
        if node.get_role() == role and node.get_name() == name:
            return node
        for i in range(node.get_child_count()):
            hit = find(node.get_child_at_index(i), role, name, depth + 1)
            if hit is not None:
                return hit
    except gi.repository.GLib.Error:
        return None
    return None


def application(name, timeout_s=30.0):
    end = time.monotonic() + timeout_s
    while time.monotonic() < end:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == name:
                return app
        time.sleep(0.1)
    sys.exit(f"read_all_atspi: no application {name} on the accessibility bus")


def count(text):
    return Atspi.Text.get_character_count(text)


def text_of(text):
    return Atspi.Text.get_text(text, 0, count(text))


def wait_quiet(text):
    """Polls every 10 ms until the count has not moved for QUIET_S; returns
    the changes as (time, count)."""
    changes = []
    last = count(text)
    last_change = time.monotonic()
    next_poll = last_change
    while True:
        next_poll += POLL_S
        delay = next_poll - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        now = time.monotonic()
        current = count(text)
        if current != last:
            changes.append((now, current))
            last, last_change = current, now
        elif now - last_change >= QUIET_S:
            return changes


def slope(points):
    n = len(points)
    mx = sum(p[0] for p in points) / n
    my = sum(p[1] for p in points) / n
    sxx = sum((p[0] - mx) ** 2 for p in points)
    sxy = sum((p[0] - mx) * (p[1] - my) for p in points)
    return sxy / sxx if sxx > 0 else float("nan")


def main():
    app_name, runs = sys.argv[1], int(sys.argv[2])
    app = application(app_name)
    log = None
    button = None
    end = time.monotonic() + 30
    while (log is None or button is None) and time.monotonic() < end:
        log = log or find(app, Atspi.Role.TEXT, "Log")
        button = button or find(app, Atspi.Role.PUSH_BUTTON, "Read All Registers")
        if log is None or button is None:
            time.sleep(0.2)
    if log is None or button is None:
        sys.exit("read_all_atspi: no log pane or no Read All Registers button")
    # The driver start-up: a second's search for the bridge, then its lines.
    while "detected" not in text_of(log):
        time.sleep(0.1)
    wait_quiet(log)
    for run in range(runs):
        before = text_of(log)
        Atspi.Action.do_action(button, 0)
        changes = wait_quiet(log)
        after = text_of(log)
        added = after[len(before):]
        lines = added.count("\n")
        if not changes or "successful" not in added:
            sys.exit(f"read_all_atspi: run {run} showed no reads")
        # Lines shown at each change, from the text's length at that change.
        points = []
        for t, c in changes:
            points.append((t, after[len(before):c].count("\n")))
        per_line_s = 1.0 / slope(points) if len(points) > 2 else float("nan")
        shown_s = changes[-1][0] - changes[0][0]
        print(f"run={run} shown_s={shown_s:.4f} step_ms={per_line_s * 1000:.4f} lines={lines} "
              f"changes={len(changes)} log_chars={len(after)}", flush=True)


if __name__ == "__main__":
    main()
