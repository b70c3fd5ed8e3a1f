#!/usr/bin/env python3
"""The load generator's play profile, small and short, so that it keeps
working: a few callers who play for real over a volume of seeded
characters, one of them holding the Wall of Fame's key. It must lose
nothing, see nothing wrong, and really play: fights, saves and views of the
Wall of Fame."""

import re
import subprocess
import sys


def main():
    load, port = sys.argv[1], sys.argv[2]
    run = subprocess.run(
        [load, "--keys", "play", "--callers", "6", "--characters", "200",
         "--seconds", "8", "--rate", "3", "--fame-every", "6",
         "--fame-holders", "1", "--raw-threads", "4", "--port", port],
        capture_output=True, text=True, timeout=180)
    output = run.stdout + run.stderr
    print(output)
    failures = []
    if run.returncode != 0:
        failures.append("exit status %d" % run.returncode)
    if not re.search(r"lost 0, wrong 0", output):
        failures.append("something was lost or wrong")
    fights = re.search(r"fights (\d+)", output)
    if fights is None or int(fights.group(1)) == 0:
        failures.append("no fight was fought")
    saves = re.search(r"saves/s ([0-9.]+)", output)
    if saves is None or float(saves.group(1)) <= 0:
        failures.append("no save was counted")
    if not re.search(r"Wall of Fame \(held, 200 characters\): [1-9]", output):
        failures.append("the held Wall of Fame was never viewed")
    if not re.search(r"raw limit in this run: [1-9]", output):
        failures.append("the raw limit was not measured")
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
