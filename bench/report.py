#!/usr/bin/python3
"""Turns bench/measure.py's figures into the results table, the goals and the
chart, prints them, and writes them to OUT/results.md and OUT/benchmarks.png;
with --update-docs, also into docs/benchmarks.md (between its "bench/run"
markers) and docs/benchmarks.png. Run from the repository root:

  report.py OUT SERIAL_SEND DYNAMIC FLOOR EXE [--update-docs]

OUT holds linux.json, wine.json (optional), vcom-*.txt and notes.txt; the
other arguments are the binaries whose sizes go into the table (EXE may be "").
"""

import datetime
import json
import os
import platform
import shutil
import subprocess
import sys

DOC = "docs/benchmarks.md"
CHART = "docs/benchmarks.png"
BEGIN = "<!-- bench/run writes the results from here -->"
END = "<!-- bench/run writes the results up to here -->"

LABELS = {
    "floor": "floor (bench/floor.c, static)",
    "serial-send": "**serial-send** (release, static)",
    "serial-send dynamic": "serial-send, dynamically linked",
    "shell line": "shell line (stty + printf)",
    "pyserial": "pyserial one-liner",
    "wine": "serial-send.exe under Wine",
}
CHART_LABELS = {
    "floor": "floor",
    "serial-send": "serial-send",
    "serial-send dynamic": "serial-send (dynamic)",
    "shell line": "shell line",
    "pyserial": "pyserial",
    "wine": "serial-send.exe (Wine)",
}


def load(path):
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


def vcom_received(path):
    """(count, every byte was "R") from a vcom report."""
    keys = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            keys[key] = value
    received = keys.get("received", "").split()
    return int(keys.get("count", "0")), all(b == "52" for b in received)


def machine():
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    libc = subprocess.run(["ldd", "--version"], capture_output=True, text=True).stdout
    libc = libc.splitlines()[0].split()[-1] if libc else "?"
    return "%s, %d cores, Linux %s, glibc %s" % (cpu, os.cpu_count(), platform.release(), libc)


def kib(n):
    return "%.1f KiB" % (n / 1024)


def ms(seconds):
    return "%.2f ms" % (seconds * 1000) if seconds < 0.1 else "%.0f ms" % (seconds * 1000)


def ratio(a, b):
    return "%.2fx" % (a / b)


def table(programs, sizes):
    floor = programs["floor"]
    rows = [
        "| program | wall median (IQR) | vs floor | instructions (callgrind) | vs floor "
        "| instructions (native) | vs floor | peak RSS | system calls | size |",
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for name, p in programs.items():
        wall = "%s (%s-%s)" % (ms(p["median"]), ms(p["q1"]).split()[0], ms(p["q3"]))
        ir = p.get("instructions")
        steps = p.get("native_instructions")
        rows.append("| %s | %s | %s | %s | %s | %s | %s | %d KiB | %s | %s |" % (
            LABELS[name], wall, ratio(p["median"], floor["median"]),
            "{:,}".format(ir) if ir else "-",
            ratio(ir, floor["instructions"]) if ir else "-",
            "{:,}".format(steps) if steps else "-",
            ratio(steps, floor["native_instructions"]) if steps else "-",
            p["rss_kib"],
            p["syscalls"] if "syscalls" in p else "-",
            kib(sizes[name]) if name in sizes else "-"))
    return rows


def goals(programs, exe_size):
    """Rows of (goal, measured, PASS/MISS/n/a)."""
    ss, floor = programs["serial-send"], programs["floor"]
    ir = ss["instructions"] / floor["instructions"]
    wall = ss["median"] / floor["median"]
    py = programs["pyserial"]["median"] / ss["median"]
    sh = programs["shell line"]["median"] / ss["median"]
    native = ss["native_instructions"] / floor["native_instructions"]
    found = [
        ("instructions at most 1.5x the floor's (callgrind)", "%.3fx" % ir, ir <= 1.5),
        ("the same, counted natively (for information)", "%.3fx" % native, native <= 1.5),
        ("wall median at most 1.15x the floor's", "%.3fx" % wall, wall <= 1.15),
        ("at least 10x faster than the pyserial line", "%.1fx" % py, py >= 10),
        ("at least 2x faster than the shell line", "%.1fx" % sh, sh >= 2),
        ("peak resident memory at most 1 MiB", "%d KiB" % ss["rss_kib"], ss["rss_kib"] <= 1024),
        ("Windows exe at most 48 KiB", kib(exe_size) if exe_size else "not built",
         exe_size <= 48 * 1024 if exe_size else None),
    ]
    return [(goal, measured, "n/a" if ok is None else "PASS" if ok else "MISS")
            for goal, measured, ok in found]


def chart(out, programs, path):
    data = os.path.join(out, "wall.dat")
    with open(data, "w") as f:
        for i, (name, p) in enumerate(programs.items()):
            colour = 0xD9822B if name == "serial-send" else 0x4A7EBB
            f.write('%d "%s" %.4f %.4f %.4f %d\n' % (i, CHART_LABELS[name], p["median"] * 1000,
                                                    p["q1"] * 1000, p["q3"] * 1000, colour))
    subprocess.run(["gnuplot", "-e", "data='%s'; output='%s'" % (data, path), "bench/chart.gp"],
                   check=True)


def main():
    out, release, dynamic, floor_bin, exe = sys.argv[1:6]
    update_docs = sys.argv[6:] == ["--update-docs"]
    linux = load(os.path.join(out, "linux", "linux.json"))
    wine = load(os.path.join(out, "wine", "wine.json"))
    notes = []
    if os.path.exists(os.path.join(out, "notes.txt")):
        with open(os.path.join(out, "notes.txt")) as f:
            notes = [line.strip() for line in f if line.strip()]

    programs = dict(linux["programs"])
    if wine:
        programs.update(wine["programs"])
    sizes = {"floor": os.path.getsize(floor_bin), "serial-send": os.path.getsize(release),
             "serial-send dynamic": os.path.getsize(dynamic)}
    exe_size = os.path.getsize(exe) if exe else 0
    if exe_size:
        sizes["wine"] = exe_size

    seq = linux["sequence"]
    if seq["serial-send"] == seq["floor"]:
        notes.append("The floor makes the same %d system calls as serial-send, in the same order "
                     "(strace)." % len(seq["floor"]))
    else:
        notes.append("The floor's system calls no longer match serial-send's: update "
                     "bench/floor.c (serial-send: %s; floor: %s)."
                     % (" ".join(seq["serial-send"]), " ".join(seq["floor"])))
    for mode, result in (("linux", linux), ("wine", wine)):
        path = os.path.join(out, "vcom-%s.txt" % mode)
        if result and os.path.exists(path):
            count, all_r = vcom_received(path)
            ok = count == result["sent"] and all_r
            notes.append("%s: the port received %d bytes, %s, for %d runs%s." % (
                "Linux runs" if mode == "linux" else "Wine runs", count,
                "all \"R\"" if all_r else "NOT all \"R\"", result["sent"],
                "" if ok else " - MISMATCH"))

    date = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    load_note = ("Machine load while timing the Linux programs (%.0f s): on average %.2f of "
                 "%d cores busy, %.2f of them with other work than the timed runs; load "
                 "average %s before, %s after. Wall times are noisy on a shared machine; "
                 "instruction counts are not."
                 % (linux["wall_seconds"], linux["cores_busy"], linux["cores"],
                    linux["cores_busy_others"], linux["loadavg_before"], linux["loadavg_after"]))
    runs = linux["programs"]["serial-send"]["runs"]
    lines = [
        BEGIN,
        "",
        "Measured %s on %s." % (date, machine()),
        "Wall times: %d runs per program, median and interquartile range, timed at "
        "priority: %s%s." % (runs, linux["priority"],
                             "; under Wine %d runs at %s" % (wine["programs"]["wine"]["runs"],
                                                             wine["priority"]) if wine else ""),
        "",
    ]
    lines += table(programs, sizes)
    lines += ["", "Goals (serial-send against the floor and the peers, from this run):", ""]
    lines += ["| goal | measured | status |", "|---|---:|---|"]
    lines += ["| %s | %s | %s |" % row for row in goals(programs, exe_size)]
    lines += ["", "![Wall time medians](benchmarks.png)", ""]
    lines += ["- " + n for n in [load_note] + notes]
    lines += ["", END]

    with open(os.path.join(out, "results.md"), "w") as f:
        f.write("\n".join(lines[2:-2]) + "\n")
    chart(out, programs, os.path.join(out, "benchmarks.png"))
    if update_docs:
        with open(DOC) as f:
            doc = f.read()
        head, _, rest = doc.partition(BEGIN)
        _, _, tail = rest.partition(END)
        with open(DOC, "w") as f:
            f.write(head + "\n".join(lines) + tail)
        shutil.copyfile(os.path.join(out, "benchmarks.png"), CHART)
    print("\n".join(lines[2:-2]))


if __name__ == "__main__":
    main()
