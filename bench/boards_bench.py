#!/usr/bin/env python3
"""Chips per minute of a production run on 1, 2, 4 and 8 boards at once.

  boards_bench.py [BUILD_DIR] [--boards 1,2,4,8] [--chips K] [--spin-boards 8]
                  [--cli PATH] [--boardsim PATH] [--json OUT]

For each board count N: N virtual boards (korvane-boardsim --realtime
--sleep-pacing, each with a socket file holding 89C52) and one
`korvane-cli program examples/blink/blink.hex --repeat --json --log LOG
--serial 0x1000:dec4:1 --serial-file SERIAL -p PTY1 ... -p PTYN`. An operator
swaps each board's chip as soon as that board's result event comes (the socket
reads "empty", 2.5 s later "89C52" again), each board on its own timer, until
the board has finished K chips; once every board has, the run gets SIGINT.
--spin-boards adds runs whose boards spin the end of their paced waits (no
--sleep-pacing), for comparison.

Measure: chips per minute = N*K / (wall time from the CLI's start to the last
board's K-th result) * 60. The wall time holds the scan and every board's K
chips with the K-1 swaps between them, so one board and N boards do the same
work per board and the speed-up N*K/T(N) / (K/T(1)) = N*T(1)/T(N) is what N
boards gain over one. Nothing after the K-th result counts (the stop, the
exit): a real run would go on.

CPU: the CLI's user+system time from os.wait4 (its whole life, the stop and
exit included), per board, per chip and as a share of one core over its life;
the boards' from /proc over the same span; the machine's busy share of
all its cores from /proc/stat.

Checks: the CLI exits 130; every result event exit 0, "Complete!"; the log has
one "ok" record per result with the same board, chip number and serial; the
serial numbers are unique and contiguous from 1; each board's summary has K
programmed, none failed or skipped. A fault is printed and the bench exits 1.
The machine's own serial ports are never touched: KORVANE_PORTS is empty and
each board is named with -p.
"""
import argparse
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CHIP = "89C52"
# The operator's hand: the socket stays empty this long, so that the CLI's
# once-a-second poll surely sees it empty.
EMPTY_S = 2.5
CLK_TCK = os.sysconf("SC_CLK_TCK")


def proc_cpu(pid):
    """User+system seconds of a running process, from /proc."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLK_TCK
    except OSError:
        return 0.0


def machine_ticks():
    """(busy, total) jiffies of all cores, from /proc/stat."""
    with open("/proc/stat") as stat:
        values = [int(v) for v in stat.readline().split()[1:]]
    idle = values[3] + values[4]
    total = sum(values[:8])
    return total - idle, total


def put_chip(path, name):
    """The socket file says name, never half-written when the board reads it."""
    with open(path + ".new", "w") as out:
        out.write(name + "\n")
    os.replace(path + ".new", path)


class Board:
    def __init__(self, boardsim, work, number, sleep_pacing):
        self.number = number
        self.socket = os.path.join(work, "socket%d" % number)
        put_chip(self.socket, CHIP)
        self.out = open(os.path.join(work, "board%d.out" % number), "w+")
        self.err = open(os.path.join(work, "board%d.err" % number), "w+")
        args = [boardsim, "--realtime", "--socket", self.socket, "--chip", CHIP]
        if sleep_pacing:
            args.insert(2, "--sleep-pacing")
        self.proc = subprocess.Popen(args, stdout=self.out, stderr=self.err)
        self.device = None
        for _ in range(200):
            self.out.seek(0)
            line = self.out.readline().strip()
            if line:
                self.device = line
                break
            time.sleep(0.025)
        if not self.device:
            self.proc.kill()
            raise RuntimeError("virtual board %d did not start" % number)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def one_run(args, count, sleep_pacing, faults):
    """Runs count boards for args.chips chips each; the run's figures."""
    tag = "%d board%s, %s pacing" % (count, "" if count == 1 else "s",
                                    "sleeping" if sleep_pacing else "spinning")
    work = tempfile.mkdtemp(prefix="korvane-boards.")
    log = os.path.join(work, "log.jsonl")
    serial_file = os.path.join(work, "serial")
    boards = []
    try:
        for number in range(1, count + 1):
            boards.append(Board(args.boardsim, work, number, sleep_pacing))
        by_port = {b.device: b for b in boards}
        cmd = [args.cli, "program", os.path.join(ROOT, "examples", "blink", "blink.hex"),
               "--repeat", "--json", "--log", log, "--serial", "0x1000:dec4:1",
               "--serial-file", serial_file]
        for b in boards:
            cmd += ["-p", b.device]
        env = dict(os.environ, KORVANE_PORTS="")
        load_before = os.getloadavg()[0]
        busy0, total0 = machine_ticks()
        boards_cpu0 = sum(proc_cpu(b.proc.pid) for b in boards)
        cli_err = open(os.path.join(work, "cli.err"), "w")
        start = time.monotonic()
        cli = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=cli_err, env=env, text=True)

        lines = queue.Queue()

        def read_lines():
            for line in cli.stdout:
                lines.put((time.monotonic(), line))
            lines.put((time.monotonic(), None))

        threading.Thread(target=read_lines, daemon=True).start()

        events = []
        results = {b.number: [] for b in boards}
        timers = []
        stopped_at = None
        last_result = None
        deadline = start + args.timeout
        while True:
            try:
                at, line = lines.get(timeout=1)
            except queue.Empty:
                if stopped_at is None and time.monotonic() > deadline:
                    faults.append("%s: no end after %d s; stopped" % (tag, args.timeout))
                    cli.send_signal(signal.SIGINT)
                    stopped_at = time.monotonic()
                    deadline = stopped_at + 60
                elif stopped_at is not None and time.monotonic() > deadline:
                    faults.append("%s: the CLI did not exit after the stop; killed" % tag)
                    cli.kill()
                continue
            if line is None:
                break
            try:
                event = json.loads(line)
            except ValueError:
                faults.append("%s: not a JSON line on stdout: %r" % (tag, line))
                continue
            event["_at"] = at - start
            events.append(event)
            if event.get("event") != "result":
                continue
            number = event.get("board", 1)
            if number not in results:
                faults.append("%s: a result of an unknown board: %s" % (tag, line.strip()))
                continue
            results[number].append(event)
            if event.get("port", boards[number - 1].device) != boards[number - 1].device:
                faults.append("%s: board %d's result names %s, not its -p %s" % (
                    tag, number, event.get("port"), boards[number - 1].device))
            if len(results[number]) == args.chips:
                last_result = max(last_result or 0, at - start)
            if len(results[number]) < args.chips:
                # The operator takes the chip out at once and puts the next in.
                board = by_port.get(event.get("port"), boards[number - 1])
                put_chip(board.socket, "empty")
                timer = threading.Timer(EMPTY_S, put_chip, (board.socket, CHIP))
                timer.start()
                timers.append(timer)
            if stopped_at is None and all(len(r) >= args.chips for r in results.values()):
                cli.send_signal(signal.SIGINT)
                stopped_at = time.monotonic()
                deadline = stopped_at + 60
        _, status, usage = os.wait4(cli.pid, 0)
        cli.returncode = os.waitstatus_to_exitcode(status)
        end = time.monotonic()
        cli_err.close()
        for timer in timers:
            timer.cancel()
        boards_cpu = sum(proc_cpu(b.proc.pid) for b in boards) - boards_cpu0
        busy1, total1 = machine_ticks()
        load_after = os.getloadavg()[0]
    finally:
        for b in boards:
            b.stop()

    check(tag, args, count, cli.returncode, events, results, log, faults, work)

    wall = last_result if last_result is not None else end - start
    chips = sum(min(len(r), args.chips) for r in results.values())
    cli_cpu = usage.ru_utime + usage.ru_stime
    run_span = end - start
    chip_seconds = [e["seconds"] for r in results.values() for e in r if "seconds" in e]
    # Between a board's results: its swap (operator and poll) and its next chip.
    swaps = []
    for r in results.values():
        for before, after in zip(r, r[1:]):
            swaps.append(after["_at"] - before["_at"] - after.get("seconds", 0))
    firsts = [r[0]["_at"] - r[0].get("seconds", 0) for r in results.values() if r]
    return dict(
        boards=count, pacing="sleep" if sleep_pacing else "spin", chips=chips, wall=wall,
        chips_per_min=60 * chips / wall if wall > 0 else 0.0,
        cli_cpu=cli_cpu, cli_cpu_per_board=cli_cpu / count,
        cli_cpu_per_chip=cli_cpu / max(chips, 1),
        cli_cpu_share=cli_cpu / run_span, boards_cpu=boards_cpu,
        boards_cpu_per_board=boards_cpu / count, boards_cpu_share=boards_cpu / run_span,
        machine_busy=(busy1 - busy0) / max(total1 - total0, 1),
        chip_s=sum(chip_seconds) / len(chip_seconds) if chip_seconds else 0.0,
        chip_s_max=max(chip_seconds) if chip_seconds else 0.0,
        swap_s=sum(swaps) / len(swaps) if swaps else 0.0,
        swap_s_max=max(swaps) if swaps else 0.0,
        start_s=max(firsts) if firsts else 0.0,
        exit=cli.returncode, load_before=load_before, load_after=load_after)


def check(tag, args, count, exit_code, events, results, log, faults, work):
    """The run's records against its events; each fault appended to faults."""
    before = len(faults)

    def fault(text):
        faults.append("%s: %s" % (tag, text))

    if exit_code != 130:
        fault("korvane-cli exited %s, not 130 after the stop" % exit_code)
    for number, got in results.items():
        if len(got) != args.chips:
            fault("board %d finished %d chips, not %d" % (number, len(got), args.chips))
        if [e.get("chip_no") for e in got] != list(range(1, len(got) + 1)):
            fault("board %d's chip numbers are %s" % (number, [e.get("chip_no") for e in got]))
        for e in got:
            if e.get("exit") != 0 or e.get("status") != "Complete!":
                fault("board %d chip %s: exit %s, %r" % (number, e.get("chip_no"), e.get("exit"),
                                                         e.get("status")))
    try:
        with open(log) as records:
            lines = [json.loads(line) for line in records if line.strip()]
    except (OSError, ValueError) as error:
        fault("the log cannot be read: %s" % error)
        lines = []
    all_results = [e for got in results.values() for e in got]
    if len(lines) != len(all_results):
        fault("%d records in the log for %d result events" % (len(lines), len(all_results)))
    keyed = {}
    for record in lines:
        key = (record.get("board", 1), record.get("chip_no"))
        if key in keyed:
            fault("two records of board %d chip %s" % key)
        keyed[key] = record
        if record.get("result") != "ok":
            fault("record of board %d chip %s says %r" % (key[0], key[1], record.get("result")))
    for e in all_results:
        key = (e.get("board", 1), e.get("chip_no"))
        record = keyed.get(key)
        if record is None:
            fault("no record of board %d chip %s" % key)
        elif record.get("serial") != e.get("serial"):
            fault("board %d chip %s: serial %s in the log, %s in the event" % (
                key[0], key[1], record.get("serial"), e.get("serial")))
    serials = [r.get("serial") for r in lines]
    if None in serials:
        fault("a record without a serial number")
    elif sorted(serials) != list(range(1, len(serials) + 1)):
        fault("serial numbers not unique and contiguous from 1: %s" % sorted(serials))
    summaries = [e for e in events if e.get("event") == "summary"]
    final = [e for e in summaries if "command" in e]
    per_board = [e for e in summaries if "command" not in e]
    if len(final) != 1:
        fault("%d final summary events" % len(final))
    elif final[0].get("programmed") != count * args.chips or final[0].get("failed") \
            or final[0].get("skipped"):
        fault("final summary %s" % json.dumps(final[0]))
    if count > 1:
        if sorted(e.get("board") for e in per_board) != list(range(1, count + 1)):
            fault("board summaries for boards %s" % sorted(e.get("board") for e in per_board))
        for e in per_board:
            if e.get("programmed") != args.chips or e.get("failed") or e.get("skipped"):
                fault("board summary %s" % json.dumps(e))
    if len(faults) > before:
        fault("files kept in %s" % work)
    else:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", nargs="?", default=os.path.join(ROOT, "build"))
    parser.add_argument("--boards", default="1,2,4,8", help="board counts, comma-separated")
    parser.add_argument("--chips", type=int, default=5, help="chips each board programs (K)")
    parser.add_argument("--spin-boards", default="",
                        help="board counts to run again with spinning pacing (no --sleep-pacing)")
    parser.add_argument("--cli", help="korvane-cli (default BUILD_DIR/cli/korvane-cli)")
    parser.add_argument("--boardsim",
                        help="korvane-boardsim (default BUILD_DIR/sim/korvane-boardsim)")
    parser.add_argument("--timeout", type=int, default=0,
                        help="seconds a run may take before it is stopped (default K*90+60)")
    parser.add_argument("--json", help="also write the figures as JSON here")
    args = parser.parse_args()
    args.cli = args.cli or os.path.join(args.build, "cli", "korvane-cli")
    args.boardsim = args.boardsim or os.path.join(args.build, "sim", "korvane-boardsim")
    args.timeout = args.timeout or args.chips * 90 + 60
    for path in (args.cli, args.boardsim):
        if not os.access(path, os.X_OK):
            print("boards_bench: no %s (build first)" % path, file=sys.stderr)
            return 2

    plan = [(int(n), True) for n in args.boards.split(",") if n]
    plan += [(int(n), False) for n in args.spin_boards.split(",") if n]
    faults = []
    runs = []
    print("%d cores, load average %.2f at the start" % (os.cpu_count(), os.getloadavg()[0]),
          flush=True)
    for count, sleep_pacing in plan:
        run = one_run(args, count, sleep_pacing, faults)
        runs.append(run)
        print(json.dumps(run), flush=True)

    def baseline(run):
        same = [r for r in runs if r["boards"] == 1 and r["pacing"] == run["pacing"]]
        same = same or [r for r in runs if r["boards"] == 1 and r["pacing"] == "sleep"]
        return same[0]["chips_per_min"] if same and same[0]["chips_per_min"] else None

    targets = {4: 3.8, 8: 7.5}
    print()
    print("| boards | pacing | chips | wall s | chips/min | speed-up | CLI CPU s per board"
          " | CLI CPU % of one core |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|")
    for r in runs:
        base = baseline(r)
        speedup = r["chips_per_min"] / base if base else None
        text = "%.2fx" % speedup if speedup is not None else "—"
        if speedup is not None and r["boards"] in targets:
            text += " ✔" if speedup >= targets[r["boards"]] else " ✘"
            r["target"] = targets[r["boards"]]
        r["speedup"] = speedup
        print("| %d | %s | %d | %.1f | %.2f | %s | %.2f | %.1f |" % (
            r["boards"], r["pacing"], r["chips"], r["wall"], r["chips_per_min"], text,
            r["cli_cpu_per_board"], 100 * r["cli_cpu_share"]))
    print()
    print("| boards | pacing | chip s mean (max) | swap s mean (max) | start s | CLI CPU s per chip"
          " | boards' CPU s per board | boards' CPU % of one core | machine busy % | load |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|---|")
    for r in runs:
        print("| %d | %s | %.1f (%.1f) | %.2f (%.2f) | %.2f | %.3f | %.2f | %.1f | %.0f"
              " | %.2f → %.2f |" % (
                  r["boards"], r["pacing"], r["chip_s"], r["chip_s_max"], r["swap_s"],
                  r["swap_s_max"], r["start_s"], r["cli_cpu_per_chip"],
                  r["boards_cpu_per_board"], 100 * r["boards_cpu_share"],
                  100 * r["machine_busy"], r["load_before"], r["load_after"]))
    if args.json:
        with open(args.json, "w") as out:
            json.dump(dict(runs=runs, faults=faults, cores=os.cpu_count()), out, indent=1)
    if faults:
        print()
        for text in faults:
            print("FAULT: " + text)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
