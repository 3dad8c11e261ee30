#!/usr/bin/python3
"""Measures the programs that send "R" to COM3, side by side.

bench/run starts this under vcom, so COM3 (/dev/ttyS2, or Wine's com3 link) is
a pseudo-terminal whose bytes vcom drains. Run from the repository root:

  measure.py linux OUT RUNS ROUNDS STEPCOUNT FLOOR SERIAL_SEND DYNAMIC
  measure.py wine  OUT RUNS WINE_LOADER EXE

Writes OUT/<mode>.json with, for every program: the whole-process wall times
of RUNS runs (hyperfine, no shell, at raised priority, in ROUNDS rounds that
change the order so a burst of load from elsewhere hits every program alike),
the instructions retired (callgrind, every process of the run added up; and
natively, single-stepped by bench/stepcount, for the one-process programs),
the peak resident memory (GNU time, median of 5 runs) and the system calls
made (strace -f -c).
For linux it also records the system call sequences of serial-send and the
floor, which must be the same for the floor to be a floor.
"""

import json
import os
import re
import shlex
import statistics
import subprocess
import sys
import time

SHELL_LINE = "stty -F /dev/ttyS2 115200 cs8 -parenb -cstopb && printf R > /dev/ttyS2"
PYSERIAL_LINE = "import serial; serial.Serial('/dev/ttyS2', 115200, exclusive=True).write(b'R')"


# Every program runs with this environment and no other: glibc's start-up
# reads every variable, so the counts depend on it. (Python itself may add a
# locale variable to its own environment.) Wine's settings pass through.
ENV = {k: v for k, v in os.environ.items() if k == "PATH" or k.startswith("WINE")}


def run(argv, **kw):
    kw.setdefault("stdin", subprocess.DEVNULL)
    kw.setdefault("stdout", subprocess.DEVNULL)
    return subprocess.run(argv, check=True, env=ENV, **kw)


def cpu_jiffies():
    """(busy, total) jiffies of the whole machine so far."""
    with open("/proc/stat") as f:
        fields = [int(x) for x in f.readline().split()[1:]]
    idle = fields[3] + fields[4]
    return sum(fields) - idle, sum(fields)


def raised_priority(real_time):
    """The highest priority the timed runs can get, so the other work on a
    shared machine does not land in the middle of them; every program gets
    the same. Real-time (as root) beats a nice value, which beats nothing.
    Not real-time for Wine: its programs wait on a wineserver that is not."""
    choices = [["chrt", "-f", "10"]] if real_time else []
    for prefix in choices + [["nice", "-n", "-10"]]:
        probe = subprocess.run(prefix + ["true"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=ENV)
        if probe.returncode == 0 and not probe.stderr:
            return prefix
    return []


PRIORITY = []


def wall_times(out, programs, runs, rounds, warmup):
    """Per program, the wall time of every run in seconds; and the CPU time
    the timed runs used, in seconds."""
    per_round = max(1, runs // rounds)
    times = {name: [] for name, _ in programs}
    cpu = 0.0
    for r in range(rounds):
        # Each round starts elsewhere, and every other round goes backwards,
        # so no program always follows the same one.
        k = (r // 2) % len(programs)
        order = programs[k:] + programs[:k]
        if r % 2:
            order.reverse()
        path = os.path.join(out, "wall-%d.json" % r)
        argv = PRIORITY + ["hyperfine", "-N", "--style", "none", "--runs", str(per_round),
                "--warmup", str(warmup), "--export-json", path]
        for name, cmd in order:
            argv += ["-n", name, shlex.join(cmd)]
        with open(os.path.join(out, "hyperfine.log"), "a") as log:
            run(argv, stderr=log)
        with open(path) as f:
            for result in json.load(f)["results"]:
                times[result["command"]] += result["times"]
                cpu += (result["user"] + result["system"]) * len(result["times"])
    return times, cpu


def instructions(out, name, cmd):
    """Instructions retired by every process of one run, from callgrind."""
    prefix = os.path.join(out, "callgrind.%s" % name.replace(" ", "_"))
    for old in os.listdir(out):
        if os.path.join(out, old).startswith(prefix + "."):
            os.remove(os.path.join(out, old))
    with open(prefix + ".log", "w") as log:
        run(["valgrind", "--tool=callgrind", "--trace-children=yes",
             "--callgrind-out-file=%s.%%p" % prefix] + cmd, stderr=log)
    total = 0
    for part in os.listdir(out):
        path = os.path.join(out, part)
        if path.startswith(prefix + ".") and not path.endswith(".log"):
            with open(path) as f:
                for line in f:
                    if line.startswith("totals:"):
                        total += int(line.split()[1])
    return total


def native_instructions(out, stepcount, name, cmd):
    """Instructions the machine itself runs for one run (bench/stepcount)."""
    path = os.path.join(out, "steps.%s.txt" % name.replace(" ", "_"))
    run([stepcount, path] + cmd)
    with open(path) as f:
        return int(f.read())


def peak_rss_kib(out, cmd, tries=5):
    """Median over a few runs of the peak resident set (KiB), from GNU time."""
    path = os.path.join(out, "time.txt")
    seen = []
    for _ in range(tries):
        run(["/usr/bin/time", "-f", "%M", "-o", path] + cmd)
        with open(path) as f:
            seen.append(int(f.read().split()[-1]))
    return int(statistics.median(seen))


def syscall_count(out, name, cmd):
    """System calls made by every process of one run, from strace -f -c."""
    path = os.path.join(out, "strace-c.%s.txt" % name.replace(" ", "_"))
    run(["strace", "-f", "-c", "-o", path] + cmd)
    with open(path) as f:
        for line in f:
            words = line.split()
            if words and words[-1] == "total":
                return int(words[3])
    raise RuntimeError("no total in " + path)


def syscall_sequence(out, name, cmd):
    """Names of the system calls of one run, in order."""
    path = os.path.join(out, "strace.%s.txt" % name)
    run(["strace", "-o", path] + cmd)
    names = []
    with open(path) as f:
        for line in f:
            m = re.match(r"(\w+)\(", line)
            if m:
                names.append(m.group(1))
    return names


def measure(out, programs, runs, rounds, warmup, counted=True, stepcount=None, stepped=()):
    """Every figure for every program; native instruction counts for the
    programs in stepped. "sent" counts the runs, each of which sends one byte
    to the port: vcom must have received exactly as many."""
    result = {"programs": {}, "sent": 0}
    for name, cmd in programs:
        run(cmd)  # fails loudly if a program cannot do its job here
        entry = {"command": shlex.join(cmd), "rss_kib": peak_rss_kib(out, cmd)}
        result["sent"] += 6
        if counted:
            entry["instructions"] = instructions(out, name, cmd)
            entry["syscalls"] = syscall_count(out, name, cmd)
            result["sent"] += 2
        if name in stepped:
            entry["native_instructions"] = native_instructions(out, stepcount, name, cmd)
            result["sent"] += 1
        result["programs"][name] = entry

    busy0, total0 = cpu_jiffies()
    start = time.monotonic()
    times, own_cpu = wall_times(out, programs, runs, rounds, warmup)
    busy1, total1 = cpu_jiffies()
    seconds = time.monotonic() - start
    result["sent"] += sum(len(t) for t in times.values()) + len(programs) * rounds * warmup
    # How many cores were busy on average while timing: in all, and with other
    # work than the timed runs (hyperfine's own share counts as other work).
    hz = os.sysconf("SC_CLK_TCK")
    result["wall_seconds"] = round(seconds, 1)
    result["cores"] = round((total1 - total0) / hz / seconds)
    result["cores_busy"] = round((busy1 - busy0) / hz / seconds, 2)
    result["cores_busy_others"] = round(max(0.0, (busy1 - busy0) / hz - own_cpu) / seconds, 2)
    with open("/proc/loadavg") as f:
        result["loadavg_after"] = f.read().split()[0]
    for name, t in times.items():
        q = statistics.quantiles(t, n=4)
        result["programs"][name].update(
            runs=len(t), median=statistics.median(t), q1=q[0], q3=q[2], min=min(t))
    return result


def main():
    mode, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    PRIORITY[:] = raised_priority(real_time=mode == "linux")
    if mode == "linux":
        runs, rounds = int(sys.argv[3]), int(sys.argv[4])
        stepcount, floor, release, dynamic = sys.argv[5:9]
        programs = [
            ("floor", [floor]),
            ("serial-send", [release]),
            ("serial-send dynamic", [dynamic]),
            ("shell line", ["sh", "-c", SHELL_LINE]),
            ("pyserial", ["python3", "-c", PYSERIAL_LINE]),
        ]
        with open("/proc/loadavg") as f:
            load_before = f.read().split()[0]
        result = measure(out, programs, runs, rounds, warmup=2, stepcount=stepcount,
                         stepped=("floor", "serial-send", "serial-send dynamic"))
        result["loadavg_before"] = load_before
        result["sent"] += 2
        result["sequence"] = {
            "serial-send": syscall_sequence(out, "serial-send", [release]),
            "floor": syscall_sequence(out, "floor", [floor]),
        }
    elif mode == "wine":
        runs = int(sys.argv[3])
        loader, exe = sys.argv[4:6]
        programs = [("wine", [loader, exe])]
        result = measure(out, programs, runs, rounds=1, warmup=3, counted=False)
    else:
        sys.exit("usage: measure.py linux|wine OUT ...")
    result["priority"] = " ".join(PRIORITY) or "normal"
    with open(os.path.join(out, mode + ".json"), "w") as f:
        json.dump(result, f, indent=1)


if __name__ == "__main__":
    main()
