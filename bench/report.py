#!/usr/bin/env python3
"""Prints the medians of a bench/run.sh results folder as tables with ratios,
the peak memory figures, and which goals are met.
    report.py RESULTS"""

import os
import statistics
import sys

res = sys.argv[1]


def times(name):
    """The run times of one command in seconds, or None."""
    path = os.path.join(res, name + ".ns")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return [int(x) / 1e9 for x in f if x.strip()]


def spread(name):
    t = times(name)
    return (min(t), max(t)) if t else None


def med(name):
    t = times(name)
    return statistics.median(t) if t else None


sizes = {}
if os.path.exists(os.path.join(res, "bytes")):
    with open(os.path.join(res, "bytes")) as f:
        for line in f:
            k, v = line.split()
            sizes[k] = int(v)

MB = 1e6


def ratio(a, b):
    return f"{a / b:.2f}x" if a and b else "-"


def table(title, rows, refs):
    """rows: (label, measurement name or a derived time, bytes moved); refs:
    (column title, median)."""
    print(f"\n{title}")
    head = f"  {'':38} {'median':>8} {'min-max':>13} {'MB/s':>6}" + "".join(f" {r[0]:>11}" for r in refs)
    print(head)
    for label, name, nbytes in rows:
        m, rng = (name, None) if isinstance(name, float) else (med(name), spread(name))
        if m is None:
            continue
        speed = f"{nbytes / MB / m:6.0f}" if nbytes else f"{'':6}"
        span = f"{rng[0]:.2f}-{rng[1]:.2f}s" if rng else ""
        line = f"  {label:38} {m:7.3f}s {span:>13} {speed}"
        line += "".join(f" {ratio(m, r[1]):>11}" for r in refs)
        print(line)


goals = []


def goal(text, ok, detail):
    goals.append((text, ok, detail))


fastest_label, fastest = min(
    ((lbl, med(n)) for lbl, n in (("xorriso", "iso_xorriso"), ("7z", "iso_7z"), ("bsdtar", "iso_bsdtar"))
     if med(n) is not None),
    key=lambda x: x[1], default=(None, None))

machine = os.path.join(res, "machine")
if os.path.exists(machine):
    with open(machine) as f:
        print(f.read().rstrip())
w, ws = med("wine_start"), med("wine_start_setup")
if w is not None:
    print(f"Wine: starting a program that does nothing takes {w:.3f} s with the floor program's DLLs"
          + (f", {ws:.3f} s with setup.exe's" if ws is not None else "")
          + "\n(included in every Wine figure; all bench programs but the floor load setup.exe's DLLs)")

# Sector reads
if med("read_sectors") is not None:
    user, binb = sizes.get("read_user"), sizes.get("read_bin")
    table(f"Sector reads: every sector of disc 1's raw Mode 1 image ({binb / MB:.0f} MB file, "
          f"{user / MB:.0f} MB of user data; MB/s of the file)",
          [("read_sectors, runs of 32 (Wine)", "read_sectors", binb),
           ("ReadFile 1 MiB, read only (Wine)", "read_floor", binb),
           ("cat > /dev/null", "read_cat", binb),
           ("cp", "read_cp", binb)],
          [("vs cp", med("read_cp")), ("vs cat", med("read_cat")), ("vs Wine read", med("read_floor"))])
    goal("read_sectors vs cp of the image file", med("read_sectors") <= med("read_cp"),
         f"{ratio(med('read_sectors'), med('read_cp'))} of cp, "
         f"{ratio(med('read_sectors'), med('read_floor'))} of the Wine read floor")

if med("folder_cd_copy_all") is not None:
    d = sizes.get("folder")
    table(f"Folder disc: disc 1 as a folder ({d / MB:.0f} MB in {sizes.get('files1')} files)",
          [("cd_copy_all (Wine)", "folder_cd_copy_all", d),
           ("Wine floor: same tree, 1 MiB chunks", "folder_floor", d),
           ("cp -r", "folder_cp", d)],
          [("vs cp", med("folder_cp")), ("vs floor", med("folder_floor"))])
    goal("cd_copy_all of a folder disc vs cp -r", med("folder_cd_copy_all") <= med("folder_cp"),
         f"{ratio(med('folder_cd_copy_all'), med('folder_cp'))} of cp")

iso_floor = med("iso_floor")
if iso_floor is not None:
    n = sizes.get("iso")
    files = (sizes.get("files1") or 0) + (sizes.get("files2") or 0)
    table(f"Plain ISO images of both discs ({n / MB:.0f} MB; {files} files)",
          [("cp of the images", "iso_cp", n),
           ("Wine floor: ReadFile/WriteFile 1 MiB", "iso_floor", n),
           (f"Wine floor: disc 1's tree twice ({2 * sizes.get('files1', 0)} files)", "iso_tree_floor", n),
           ("cd_copy_all (Wine)", "iso_cd_copy_all", n),
           ("setup.exe /silent (Wine)", "install_iso", n),
           ("xorriso -osirrox on -extract", "iso_xorriso", n),
           ("7z x", "iso_7z", n),
           ("bsdtar -x", "iso_bsdtar", n)],
          [("vs cp", med("iso_cp")), ("vs floor", iso_floor), ("vs tree fl.", med("iso_tree_floor")),
           (f"vs {fastest_label}", fastest)])
    m = med("iso_cd_copy_all")
    goal("plain-ISO extraction within 1.3x the Wine floor", m <= 1.3 * iso_floor,
         f"{ratio(m, iso_floor)} of the floor")
    goal("plain-ISO extraction faster than the fastest native extractor", m < fastest,
         f"{ratio(m, fastest)} of {fastest_label}")
    m = med("install_iso")
    if m is not None:
        goal("whole install from plain ISO within 1.4x the Wine floor", m <= 1.4 * iso_floor,
             f"{ratio(m, iso_floor)} of the floor")
        goal("whole install from plain ISO faster than the fastest native extractor", m < fastest,
             f"{ratio(m, fastest)} of {fastest_label}")

for mode in (1, 2):
    k = f"m{mode}"
    floor = med(f"{k}_floor")
    if floor is None:
        continue
    n = sizes.get(k)
    bchunk = med(f"{k}_bchunk")
    rows = [("cp of the images", f"{k}_cp", n),
            ("Wine floor: ReadFile/WriteFile 1 MiB", f"{k}_floor", n),
            ("cd_copy_all via cue sheet (Wine)", f"{k}_cd_copy_all", n),
            ("setup.exe /silent (Wine)", f"install_{k}", n),
            ("bchunk to plain images (alone)", f"{k}_bchunk", n)]
    if bchunk and fastest:
        rows.append((f"bchunk + {fastest_label} (sum)", bchunk + fastest, n))
    table(f"Raw Mode {mode}{' Form 1' if mode == 2 else ''} BIN/CUE of both discs ({n / MB:.0f} MB of images)",
          rows, [("vs cp", med(f"{k}_cp")), ("vs floor", floor), ("vs bchunk", bchunk)])
    m = med(f"{k}_cd_copy_all")
    goal(f"raw Mode {mode} extraction faster than bchunk's conversion alone", m < bchunk,
         f"{ratio(m, bchunk)} of bchunk")
    m = med(f"install_{k}")
    if m is not None:
        goal(f"whole install from raw Mode {mode} within 1.4x the Wine floor of its images",
             m <= 1.4 * floor, f"{ratio(m, floor)} of the floor")
        goal(f"whole install from raw Mode {mode} faster than the fastest native extractor alone",
             m < fastest, f"{ratio(m, fastest)} of {fastest_label} on the plain images")

mem = os.path.join(res, "memory")
if os.path.exists(mem):
    print("\nPeak memory of one installation (setup.exe: peak resident set of the Wine process;"
          "\nbench_install: GetProcessMemoryInfo at the end, and its progress callbacks)")
    print(f"  {'discs':16} {'setup.exe RSS':>14} {'working set':>12} {'private':>10} {'callbacks':>10}")
    rows = {}
    with open(mem) as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            label, rss = parts[0], int(parts[1])
            info = " ".join(parts[2:])
            ws = priv = calls = None
            words = info.replace(",", " ").split()
            for i, wd in enumerate(words):
                if wd == "callbacks":
                    calls = int(words[i + 1])
                if wd == "set" and words[i - 1] == "working":
                    ws = int(words[i + 1])
                if wd == "bytes" and words[i - 1] == "private":
                    priv = int(words[i + 1])
            rows[label] = (rss, ws, priv, calls)
            print(f"  {label:16} {rss:>10} KiB {ws:>8} KiB {priv:>6} KiB {calls:>10}")
    for shape in ("iso", "m1"):
        pair = sorted((v for k, v in rows.items() if k.split()[0] == shape), key=lambda v: v[3])
        if len(pair) == 2:
            small, big = pair
            grow = big[0] - small[0]
            goal(f"peak memory flat in disc size ({shape})", grow <= max(2048, small[0] // 20),
                 f"setup.exe RSS {small[0]} -> {big[0]} KiB, private {small[2]} -> {big[2]} KiB")

print("\nGoals")
for text, ok, detail in goals:
    print(f"  [{'met ' if ok else 'MISS'}] {text}: {detail}")
