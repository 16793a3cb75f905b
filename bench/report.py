#!/usr/bin/env python3
"""Writes bench/RESULTS.md from the JSON that the benchmark runs left.

  report.py OUT_MD RUNS_JSON[,RUNS_JSON...] FILE_BENCH_JSON CHECK_JSON [TURNAROUND_JSON]
"""
import datetime
import json
import os
import sys

BAUD = 9600
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


def load(path):
    return json.load(open(path)) if path and os.path.exists(path) else None


def main():
    out, runs_paths, file_path, check_path = sys.argv[1:5]
    turnaround = load(sys.argv[5] if len(sys.argv) > 5 else None)
    runs = []
    for path in runs_paths.split(","):
        runs += load(path) or []
    files = load(file_path)
    check = load(check_path)

    lines = ["# Benchmark results", "",
             "Machine: %s. Date: %s. Release build, virtual board with `--realtime`"
             " (9600 baud, 10 bits a byte, erase 200 ms)." %
             (machine(), datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")),
             "", "Wire time = (bytes host→board + board→host) × 10 / 9600 s + simulated erase"
             " time, from the board's counters of that run alone. Wall, user+sys and peak RSS"
             " are of the whole process (`/usr/bin/time`): scan, programming, exit. Each size"
             " was run once, one run at a time, each on its own virtual board.", "",
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
    fast = [r for r in runs if r["kind"] == "fast"]
    if fast:
        lines += ["", "A fast-verify run is the write stream and little else, so what it takes"
                  " beyond the wire and the pause, shared over the bytes written, is each"
                  " byte's handshake turnaround (host and board together; a written byte"
                  " costs 3125 µs of wire):", "",
                  "| chip | bytes | turnaround µs a byte | share of the byte's wire time |",
                  "|---|---:|---:|---:|"]
        for r in fast:
            per_byte = (r["wall"] - r["pause"] - r["wire"]) / r["size"]
            lines.append("| %s | %d | %.0f | %.1f %% |" % (
                r["chip"], r["size"], 1e6 * per_byte, 100 * per_byte * BAUD / 30))
    if turnaround:
        lines += ["", "The floor under that: one byte through a pseudo-terminal and straight"
                  " back, with the answering side asleep in `poll` as the host is"
                  " (`korvane-turnaround-bench`, %d round trips): median %d µs, 90th"
                  " percentile %d µs, mean %d µs." % (
                      turnaround["count"], turnaround["median_us"], turnaround["p90_us"],
                      turnaround["mean_us"])]
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
