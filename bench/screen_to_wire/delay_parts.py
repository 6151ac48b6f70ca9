#!/usr/bin/env python3
"""Where the time of each screen change goes, from the records `lumora-screen-delay --logs DIR` keeps.

    bench/screen_to_wire/delay_parts.py DIR/sway-1-1 [DIR/sway-1-2 ...]

Each name stands for three files: NAME.colours (the animator's stamps), NAME.packets (the emulator's
packets, stamped as read) and NAME.driver (the driver's standard error). The parts need a driver
built with the trace lines of tick-trace.patch (beside this file), which writes, on CLOCK_MONOTONIC:

    TRACE F <now> <pts>          a new picture held on PipeWire's thread, with its buffer's pts
    TRACE T <now> <backlog> <ok> a tick begins: the line's backlog, whether the tick is carried
    TRACE S <now> <frames>       a tick sampled the newest picture (frames received so far)
    TRACE W <now> <bytes>        a write to the line

Changes are timed as lumora-screen-delay times them (to the first zone packet that moved toward the
new colour, zones at rest before). For each, the parts in milliseconds:

    compositor  stamp -> the picture's pts (the compositor's wait for its next frame)
    copy        pts -> the picture held in the driver (the compositor's copy and PipeWire)
    wait        held -> the first tick that sampled it
    line        that tick -> the zone packet read by the emulator (the bytes ahead of it on the
                line, its own 10 bytes, the emulator's reading in 2 ms slices)
    driver      wait and line together: the part after the picture reached the driver
    backlog     bytes on the line when that tick began
    skipped     ticks refused for the line between the picture and that tick
"""
import math
import statistics
import sys


def read_records(name):
    colours = []
    for line in open(name + ".colours"):
        f = line.split()
        if len(f) == 2:
            colours.append((float(f[0]), f[1] == "ffffff"))
    packets = []
    for line in open(name + ".packets"):
        f = line.split()
        if len(f) == 6:
            packets.append((float(f[5]), int(f[0]), int(f[1]) + int(f[2]) + int(f[3])))
    trace = {"F": [], "T": [], "S": [], "W": []}
    for line in open(name + ".driver"):
        f = line.split()
        if len(f) >= 4 and f[0] == "TRACE" and f[1] in trace:
            trace[f[1]].append(tuple(float(x) for x in f[2:]))
    return colours, packets, trace


def first_after(events, t):
    return next((e for e in events if e[0] > t), None)


def changes(name):
    colours, packets, trace = read_records(name)
    for i in range(1, len(colours)):
        at, to_white = colours[i]
        following = colours[i + 1][0] if i + 1 < len(colours) else at + 1.0
        levels = {0: [], 1: [], 2: []}
        k = 0
        while k < len(packets) and packets[k][0] <= at:
            if packets[k][1] < 3:
                levels[packets[k][1]].append(packets[k][2])
            k += 1
        if any(len(v) < 2 or v[-1] != v[-2] for v in levels.values()):
            continue  # not at rest: lumora-screen-delay leaves it out too
        seen = None
        for t, channel, level in packets[k:]:
            if t >= following:
                break
            if channel < 3 and (level > levels[channel][-1] if to_white else level < levels[channel][-1]):
                seen = t
                break
        picture = first_after(trace["F"], at)
        if seen is None or picture is None:
            continue
        held, pts = picture
        sample = first_after(trace["S"], held)
        if sample is None:
            continue
        begun = [t for t in trace["T"] if t[0] <= sample[0]]
        yield {
            "total": 1e3 * (seen - at),
            "compositor": 1e3 * (pts - at) if pts > 0 else math.nan,
            "copy": 1e3 * (held - pts) if pts > 0 else math.nan,
            "wait": 1e3 * (sample[0] - held),
            "line": 1e3 * (seen - sample[0]),
            "driver": 1e3 * (seen - held),
            "backlog": begun[-1][1] if begun else math.nan,
            "skipped": sum(1 for t in trace["T"] if held < t[0] <= sample[0] and t[2] == 0),
        }


def percentile(values, q):
    values = sorted(values)
    return values[min(len(values), max(1, math.ceil(q * len(values)))) - 1]


def main(names):
    rows = [row for name in names for row in changes(name)]
    if not rows:
        sys.exit("no change could be followed (is the driver built with tick-trace.patch?)")
    print(f"{len(rows)} changes\n\n| part | median | p90 | max | mean |\n|---|---|---|---|---|")
    for part in ("total", "compositor", "copy", "wait", "line", "driver", "backlog", "skipped"):
        v = [r[part] for r in rows if not math.isnan(r[part])]
        unit = " bytes" if part == "backlog" else "" if part == "skipped" else " ms"
        print(f"| {part} | {statistics.median(v):.1f}{unit} | {percentile(v, 0.9):.1f}{unit} | {max(v):.1f}{unit} "
              f"| {statistics.mean(v):.2f}{unit} |")
    slowest = sorted(rows, key=lambda r: -r["total"])[: max(1, len(rows) // 10)]
    print(f"\nthe slowest tenth ({len(slowest)}): "
          f"{sum(r['skipped'] > 0 for r in slowest)} behind a skipped tick, "
          f"mean parts: " + ", ".join(f"{p} {statistics.mean(r[p] for r in slowest if not math.isnan(r[p])):.1f}"
                                      for p in ("compositor", "copy", "wait", "line")))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])
