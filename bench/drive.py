#!/usr/bin/env python3
"""Runs korvane-cli (and the window bench) against the virtual board with
real-time pacing and reports each run's wall time against the wire time.

  drive.py BUILD_DIR OUT_JSON [--runs cli,fast,read,window] [--sizes 4096,...]

Every run gets a fresh virtual board, so the board's counters on exit are the
bytes of that run alone: wire time = (bytes both ways) x 10 / 9600 s plus the
erase time the board simulated.
"""
import argparse
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

BAUD = 9600
CHIPS = {4096: "89C51", 8192: "89C52", 20480: "89C55"}
# The workflows pause 500 ms before each read-back stream and before the
# checksum request; these are waits of the program, not of the line.
PAUSE_S = 0.5


def write_image(path, size):
    """Intel HEX of size random bytes, none FF at the end, so all are sent."""
    rnd = random.Random(size)
    data = bytes(rnd.randrange(0, 255) for _ in range(size))
    with open(path, "w") as out:
        for base in range(0, size, 16):
            chunk = data[base:base + 16]
            rec = bytes([len(chunk), base >> 8, base & 0xFF, 0]) + chunk
            check = (-sum(rec)) & 0xFF
            out.write(":" + rec.hex().upper() + "%02X\n" % check)
        out.write(":00000001FF\n")


def start_board(boardsim, chip, work, tag):
    out = open(os.path.join(work, tag + ".board.out"), "w+")
    err = open(os.path.join(work, tag + ".board.err"), "w+")
    proc = subprocess.Popen([boardsim, "--chip", chip, "--realtime"], stdout=out, stderr=err)
    for _ in range(100):
        out.seek(0)
        line = out.readline().strip()
        if line:
            return proc, line, err
        time.sleep(0.05)
    proc.kill()
    raise RuntimeError("virtual board did not start")


def stop_board(proc, err):
    proc.send_signal(signal.SIGTERM)
    proc.wait(timeout=10)
    err.seek(0)
    for line in err.read().splitlines():
        if line.startswith("counters:"):
            return {k: int(v) for k, v in (f.split("=") for f in line.split()[1:])}
    raise RuntimeError("no counters from the virtual board")


def timed(cmd, env, work, tag):
    timefile = os.path.join(work, tag + ".time")
    with open(os.path.join(work, tag + ".out"), "w") as out, \
            open(os.path.join(work, tag + ".err"), "w") as err:
        status = subprocess.call(["/usr/bin/time", "-f", "%e %U %S %M", "-o", timefile] + cmd,
                                 stdout=out, stderr=err, env=env)
    wall, user, sys_, rss = open(timefile).read().split()[-4:]
    return status, float(wall), float(user), float(sys_), int(rss)


def one_run(args, kind, size, work):
    chip = CHIPS[size]
    image = os.path.join(work, "image-%d.hex" % size)
    tag = "%s-%d" % (kind, size)
    board, device, err = start_board(args.boardsim, chip, work, tag)
    env = dict(os.environ, KORVANE_PORTS=device, QT_QPA_PLATFORM="offscreen")
    cli = os.path.join(args.build, "cli", "korvane-cli")
    if kind == "program":
        cmd = [cli, "program", image, "--port", device]
    elif kind == "fast":
        cmd = [cli, "program", image, "--port", device, "--fast-verify"]
    elif kind == "read":
        cmd = [cli, "read", os.path.join(work, tag + ".hex"), "--port", device]
    else:
        cmd = [os.path.join(args.build, "bench", "korvane-window-bench"), image]
    try:
        status, wall, user, sys_, rss = timed(cmd, env, work, tag)
    finally:
        counters = stop_board(board, err)
    wire_bytes = counters["from-host"] + counters["to-host"]
    wire = wire_bytes * 10 / BAUD + counters["erase-ms"] / 1000
    result = dict(kind=kind, size=size, chip=chip, status=status, wall=wall, user=user,
                  sys=sys_, rss_kb=rss, from_host=counters["from-host"],
                  to_host=counters["to-host"], erase_ms=counters["erase-ms"], wire=wire,
                  pause=PAUSE_S, ratio=wall / wire, ratio_no_pause=(wall - PAUSE_S) / wire,
                  cpu_share=(user + sys_) / wall)
    if kind == "window":
        with open(os.path.join(work, tag + ".out")) as out:
            line = out.read().strip()
        result["window_line"] = line
    print(json.dumps(result), flush=True)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("out")
    parser.add_argument("--runs", default="program,fast,read,window")
    parser.add_argument("--sizes", default="4096,8192,20480")
    args = parser.parse_args()
    args.boardsim = os.path.join(args.build, "sim", "korvane-boardsim")
    work = tempfile.mkdtemp(prefix="korvane-bench.", dir=os.path.dirname(os.path.abspath(args.out)))
    sizes = [int(s) for s in args.sizes.split(",")]
    for size in sizes:
        write_image(os.path.join(work, "image-%d.hex" % size), size)
    results = []
    for kind in args.runs.split(","):
        for size in sizes:
            results.append(one_run(args, kind, size, work))
    with open(args.out, "w") as out:
        json.dump(results, out, indent=1)
    print("logs in", work, file=sys.stderr)
    return 0 if all(r["status"] == 0 for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
