#!/usr/bin/env python3
"""Writes bench/RESULTS.md from the JSON that the benchmark runs left.

  report.py OUT_MD RUNS_JSON[,RUNS_JSON...] FILE_BENCH_JSON CHECK_JSON
"""
import datetime
import json
import os
import sys

LABELS = {"program": "program, read-back verify", "fast": "program --fast-verify",
          "read": "read", "window": "window Send (read-back verify)"}


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return "%s, %d cores (shared)" % (model, os.cpu_count())


def main():
    out, runs_paths, file_path, check_path = sys.argv[1:5]
    runs = []
    for path in runs_paths.split(","):
        if os.path.exists(path):
            runs += json.load(open(path))
    files = json.load(open(file_path)) if os.path.exists(file_path) else None
    check = json.load(open(check_path)) if os.path.exists(check_path) else None

    lines = ["# Benchmark results", "",
             "Machine: %s. Date: %s. Release build, virtual board with `--realtime`"
             " (9600 baud, 10 bits a byte, erase 200 ms)." %
             (machine(), datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")),
             "", "Wire time = (bytes host→board + board→host) × 10 / 9600 s + simulated erase"
             " time, from the board's counters of that run alone. Wall, user+sys and peak RSS"
             " are of the whole process (`/usr/bin/time`): scan, programming, exit. Each size"
             " was run once; the four kinds of run went side by side, each on its own virtual board.", "",
             "| run | chip | bytes | wire s | wall s | wall/wire (target ≤ 1.05) |"
             " CPU % of wall (target ≤ 3) | peak RSS MB | result |",
             "|---|---|---:|---:|---:|---:|---:|---:|---|"]
    for r in runs:
        ratio_ok = "✔" if r["ratio"] <= 1.05 else "✘"
        cpu_ok = "✔" if r["cpu_share"] <= 0.03 else "✘"
        rss = "%.1f" % (r["rss_kb"] / 1024)
        if r["kind"] in ("program", "fast"):
            rss += " ✔" if r["rss_kb"] <= 10 * 1024 else " ✘"
        lines.append("| %s | %s | %d | %.2f | %.2f | %.3f %s | %.1f %s | %s | %s |" % (
            LABELS[r["kind"]], r["chip"], r["size"], r["wire"], r["wall"], r["ratio"], ratio_ok,
            100 * r["cpu_share"], cpu_ok, rss, "ok" if r["status"] == 0 else "FAILED"))
    lines += ["", "Each run holds one fixed 500 ms pause of the workflow that is not wire time:"
              " before the read-back stream (program, read, window) or before the checksum"
              " request (fast verify). Before a read-back the board is already streaming"
              " during the pause, so it overlaps wire time and costs almost nothing; before"
              " the checksum nothing is on the wire, so it adds 0.5 s in full. Without it the"
              " ratios are:", "",
              "| run | chip | (wall − 0.5 s) / wire |", "|---|---|---:|"]
    for r in runs:
        lines.append("| %s | %s | %.3f |" % (LABELS[r["kind"]], r["chip"], r["ratio_no_pause"]))
    if files:
        lines += ["", "## File side", "", "In-process, Google Benchmark (`korvane-file-bench`):",
                  "", "| benchmark | time µs | MB/s |", "|---|---:|---:|"]
        for b in files["benchmarks"]:
            lines.append("| %s | %.0f | %.1f |" % (b["name"], b["real_time"],
                                                   b.get("bytes_per_second", 0) / 1e6))
    if check:
        ok = "✔" if check["ratio"] < 1 else "✘"
        lines += ["", "Whole process on a 65535-byte file, best of %d: `korvane-cli check`"
                  " %.1f ms, `srec_cat` %.1f ms; ratio %.2f %s (target < 1)." % (
                      check["tries"], 1000 * check["korvane_wall"], 1000 * check["srec_wall"],
                      check["ratio"], ok)]
    findings = os.path.join(os.path.dirname(os.path.abspath(__file__)), "FINDINGS.md")
    if os.path.exists(findings):
        lines += ["", open(findings).read().rstrip()]
    open(out, "w").write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
