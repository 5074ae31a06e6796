#!/usr/bin/env python3
"""Opening a big project, measured from the X server's side, next to another build.

  bench/project_open/run.py --editor build/velmora-editor [--baseline OTHER/velmora-editor]
                            [--clips 1000] [--runs 5] [--watch 3] [--switch] [--limit 60]
                            [--trace-folders] [--graded-luts N] [--lut-points N] [--all-luts-present]
                            [--quit] [--lut-files N] [--idle]

Builds probe.cpp (Xlib, XTest), writes a project of --clips clips with make_project.py into a
temporary folder, starts Xvfb on a free display (1920 × 1080 × 24) and runs the probe on each
editor in turn, whole processes A B A B …, so that both see the same load. Prints every run,
then the medians and, with a baseline, the ratio of each figure (editor ÷ baseline). The
figures are those of probe.cpp: map_ms, paint_ms and monitor_ms from the fork of the editor's process,
worst_wait_ms over --watch seconds after the first picture, export_ms and edit_ms with
--switch, hwm_mb and rss_mb at the end.

With --trace-folders each editor runs under strace (getdents64, openat), and each run also
reports the kernel's own count of folder reads made by the editor's main thread (the thread
whose id is the process id) from the opening of the project document (by any of its threads) to
the first monitor picture: main_getdents (calls), main_folders (the folders they read) and main_project_folders
(those of them that are the project's own folder or below it). strace slows the
editor down and stands between the probe and it, so the times and memory figures of such runs
are not comparable with untraced ones.

With --graded-luts N every video clip is graded by one of N LUT files, half of them missing (see
make_project.py), so the clip at the playhead is graded by a LUT that is there; --lut-points sets
their size (17 points a side by default) and --all-luts-present writes every one of them, each a
text of its own. With --idle each run also reports idle_ms and idle_cpu_ms: when the editor's
process went idle after the first picture, and the processor time it had used until then. With --lut-files N
the media folder's `luts` folder also holds N empty `.cube` files (made once per run), which the
editor lists for its LUT pickers as the project opens. With --quit the probe asks the window to
close as soon as the clips are painted and reports quit_ms, the time until the process has ended.
"""
import argparse
import glob
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# Where the "10-bit Export" and "Edit" modes sit in the editor's 1280 × 900 window.
EXPORT_AT, EDIT_AT = "723,21", "597,21"
# The program monitor's picture area in that window (inside its letterbox bars).
MONITOR_AT = "380,130,780,420"


def cpu_model():
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown"


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def build_probe(folder):
    xtst = sorted(glob.glob("/usr/lib/*/libXtst.so*") + glob.glob("/usr/lib/libXtst.so*"))
    if not xtst:
        sys.exit("libXtst is needed (apt-get install libxtst6)")
    out = os.path.join(folder, "probe")
    subprocess.run(["g++", "-O2", "-std=c++20", "-o", out, os.path.join(HERE, "probe.cpp"), "-lX11", xtst[0]],
                   check=True)
    return out


def start_xvfb():
    for display in range(90, 140):
        if os.path.exists("/tmp/.X11-unix/X%d" % display) or os.path.exists("/tmp/.X%d-lock" % display):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X%d" % display):
                return server, ":%d" % display
            time.sleep(0.05)
        server.kill()
    sys.exit("no free X display")


TRACED_CALL = re.compile(r"^(\d+) +(\d+\.\d+) (execve|openat|getdents64)\((.*)$")


def main_thread_folder_reads(trace, project, first_picture_epoch):
    """The getdents64 calls of the editor's main thread (its id is the process id: the thread
    that ran execve) from the editor's opening of the project document (on whichever thread
    reads it) to the first picture."""
    main, opened, calls, folders = None, None, 0, []
    with open(trace, errors="replace") as lines:
        for line in lines:
            match = TRACED_CALL.match(line)
            if not match:
                continue
            tid, when, call, rest = int(match.group(1)), float(match.group(2)), match.group(3), match.group(4)
            if main is None and call == "execve":
                main = tid
            if when > first_picture_epoch:
                continue
            if call == "openat" and opened is None and ('"%s"' % project) in rest:
                opened = when
            elif call == "getdents64" and opened is not None and tid == main:
                calls += 1
                folder = re.match(r"\d+<(.*?)>", rest)
                folders.append(folder.group(1) if folder else rest[:80])
    return calls, sorted(set(folders)), opened is not None


def run_once(probe, display, editor, project, args, trace=None):
    command = [probe, "--watch", str(args.watch), "--limit", str(args.limit), "--monitor", MONITOR_AT]
    if args.switch:
        command += ["--switch", EXPORT_AT, EDIT_AT]
    if args.quit:
        command += ["--quit"]
    if args.idle:
        command += ["--idle"]
    command += ["--"]
    if trace:
        command += ["strace", "-f", "-qq", "-ttt", "-y", "-e", "trace=execve,openat,getdents64",
                    "-o", trace]
    command += [editor, project]
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    result = subprocess.run(command, env=env, capture_output=True, text=True)
    line = result.stdout.strip().splitlines()[-1] if result.stdout.strip() else "{}"
    figures = json.loads(line)
    if trace and "error" not in figures and figures.get("monitor_ms", -1) >= 0:
        calls, folders, opened = main_thread_folder_reads(
            trace, project, figures["start_epoch_s"] + figures["monitor_ms"] / 1000)
        figures["main_getdents"] = calls if opened else -1
        figures["main_folders"] = folders
        # Of them, the folders of the project itself (its own folder, its media folder).
        figures["main_project_folders"] = [f for f in folders if f.startswith(os.path.dirname(project))]
    if trace and os.path.exists(trace):
        os.remove(trace)
    return figures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--editor", required=True)
    parser.add_argument("--baseline")
    parser.add_argument("--clips", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--watch", type=float, default=3)
    parser.add_argument("--limit", type=float, default=60)
    parser.add_argument("--switch", action="store_true")
    parser.add_argument("--trace-folders", action="store_true")
    parser.add_argument("--graded-luts", "--graded", "--luts", type=int, default=0,
                        help="grade the video clips by this many LUT files, every second one missing")
    parser.add_argument("--lut-points", type=int, default=17)
    parser.add_argument("--all-luts-present", action="store_true")
    parser.add_argument("--quit", action="store_true")
    parser.add_argument("--lut-files", type=int, default=0)
    parser.add_argument("--idle", action="store_true")
    args = parser.parse_args()

    editors = [("editor", os.path.abspath(args.editor))]
    if args.baseline:
        editors.append(("baseline", os.path.abspath(args.baseline)))
    print("CPU: %s, %d cores; load average before: %s" % (cpu_model(), os.cpu_count(), load_average()))
    with tempfile.TemporaryDirectory(prefix="velmora-open-") as folder:
        probe = build_probe(folder)
        subprocess.run([sys.executable, os.path.join(HERE, "make_project.py"), folder, str(args.clips),
                        str(args.graded_luts), str(args.lut_points), "all" if args.all_luts_present else "half"],
                       check=True)
        project = os.path.join(folder, "Big.tavlek")
        if args.lut_files:
            luts = os.path.join(folder, "media", "luts")
            os.makedirs(luts, exist_ok=True)
            for n in range(args.lut_files):
                open(os.path.join(luts, "many_%06d.cube" % n), "w").close()
        server, display = start_xvfb()
        results = {name: [] for name, _ in editors}
        try:
            for run in range(args.runs):
                for name, editor in (editors if run % 2 == 0 else list(reversed(editors))):
                    trace = os.path.join(folder, "trace") if args.trace_folders else None
                    figures = run_once(probe, display, editor, project, args, trace)
                    results[name].append(figures)
                    print("run %d %-8s %s" % (run + 1, name, json.dumps(figures)), flush=True)
        finally:
            server.terminate()
            server.wait()
    print("load average after: %s" % load_average())
    keys = ["map_ms", "paint_ms", "monitor_ms", "worst_wait_ms", "export_ms", "edit_ms", "idle_ms", "idle_cpu_ms",
            "hwm_mb", "rss_mb", "main_getdents", "quit_ms"]
    medians = {}
    for name, runs in results.items():
        good = [r for r in runs if r and "error" not in r]
        medians[name] = {k: statistics.median(r[k] for r in good) for k in keys if good and k in good[0]}
        failed = len(runs) - len(good)
        print("median %-8s (%d clips%s, %d runs%s): %s" % (name, args.clips,
              ", %d LUTs of %d points, %s" % (args.graded_luts, args.lut_points,
                                              "all present" if args.all_luts_present else "half missing")
              if args.graded_luts else "", len(good),
              ", %d failed" % failed if failed else "", json.dumps(medians[name])))
    if args.baseline and medians.get("editor") and medians.get("baseline"):
        ratios = {k: round(medians["editor"][k] / medians["baseline"][k], 2)
                  for k in medians["editor"] if k in medians["baseline"] and medians["baseline"][k] > 0}
        print("ratio editor / baseline: %s" % json.dumps(ratios))


if __name__ == "__main__":
    main()
