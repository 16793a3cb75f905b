#!/usr/bin/env python3
"""Whole-process load of one 65535-byte Intel HEX file: `korvane-cli check`
against srec_cat reading the same file. Prints one JSON object.

  check_vs_srec.py BUILD_DIR
"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from drive import write_image  # noqa: E402

TRIES = 7


def best_of(cmd):
    """The shortest wall time and the child CPU of that best try, in seconds."""
    best = None
    for _ in range(TRIES):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        if best is None or wall < best[0]:
            best = (wall, cpu)
    return best


def main():
    build = sys.argv[1]
    work = tempfile.mkdtemp(prefix="korvane-check.")
    image = os.path.join(work, "image-65535.hex")
    write_image(image, 65535)
    cli = os.path.join(build, "cli", "korvane-cli")
    kor = best_of([cli, "check", image, "--size", "65535"])
    srec = best_of(["srec_cat", image, "-intel", "-o", os.path.join(work, "out.bin"), "-binary"])
    print(json.dumps(dict(tries=TRIES, korvane_wall=kor[0], korvane_cpu=kor[1],
                          srec_wall=srec[0], srec_cpu=srec[1], ratio=kor[0] / srec[0])))
    for name in os.listdir(work):
        os.remove(os.path.join(work, name))
    os.rmdir(work)


if __name__ == "__main__":
    main()
