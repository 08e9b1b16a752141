#!/usr/bin/env bash
# run-start-bench.sh HELPER...
#
# CPU time (user + system) of a decoder helper's start: each helper is started as the
# pool starts it, but with the other end of its socket already closed, so it loads its
# libraries, sets its limits and filter up and ends at its first read. The helpers run
# in turn, ROUNDS times (default 50); prints the median, least and most per helper.
# A helper named *metafile* is started in fonts mode, the others in strict mode.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 HELPER..." >&2; exit 2; }
exec python3 - "${ROUNDS:-50}" "$@" <<'PY'
import os, resource, socket, statistics, subprocess, sys

rounds, helpers = int(sys.argv[1]), sys.argv[2:]
times = {helper: [] for helper in helpers}
for _ in range(rounds):
    for helper in helpers:
        mode = "--mode=fonts" if "metafile" in os.path.basename(helper) else "--mode=strict"
        ours, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        ours.close()
        moved = theirs.fileno() != 3
        if moved:
            os.dup2(theirs.fileno(), 3, inheritable=True)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        status = subprocess.run([helper, mode], pass_fds=(3,), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL).returncode
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        theirs.close()
        if moved:
            os.close(3)
        if status != 0:
            sys.exit(f"{helper} ended with {status}")
        times[helper].append((after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000)
for helper, spent in times.items():
    print(f"{statistics.median(spent):6.1f} ms CPU (least {min(spent):.1f}, most {max(spent):.1f})  {helper}")
PY
