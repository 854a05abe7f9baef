#!/usr/bin/python3
"""Two builds of the tree side by side on the headline benchmark cases, in one run.

Each case runs in a fresh process of each build's benchmark program, the builds alternating
(A, B, A, B, ...), so that both meet the same load on a shared machine. Prints each run's first
call (wall and processor ms, the kernel's share, the resident peak against the records where the
case reports it) and, per case, the ratio of B's median first call to A's.

    /usr/bin/python3 bench/compare_builds.py BUILD_A BUILD_B [--rounds 2] [--large]

--large adds getMeshAlignResult at 16 million vertices (about 10 GB of memory, minutes per run).
"""

import argparse
import json
import os
import statistics
import subprocess
import sys

CASES = [
    ("bench_aligner", "BM_AlignSheets/vertices:1000000/turned:0/recorded:0"),
    ("bench_mesh_align", "BM_AlignRecords/vertices:1000000/part:0/complete:0"),
    ("bench_pair_alignment", "BM_LibraryCall/vertices:1000000"),
    ("bench_pair_alignment", "BM_AlignBodies/vertices:1000000"),
]
LARGE_CASES = [("bench_mesh_align", "BM_AlignRecords/vertices:16000000/part:0/complete:0")]
SHOWN = ["first_ms", "first_cpu_ms", "first_system_share", "first_ns_per_item", "first_peak_per_records"]


def run_case(build, program, case, large):
    environment = dict(os.environ, COREIO_BENCH_LARGE="1" if large else "")
    command = [os.path.join(build, "bench", program), "--benchmark_filter=^%s/" % case, "--benchmark_format=json"]
    output = subprocess.run(command, env=environment, check=True, capture_output=True, text=True).stdout
    for run in json.loads(output)["benchmarks"]:
        if run.get("run_type") == "iteration":
            if "error_message" in run:
                sys.exit("%s %s: %s" % (build, case, run["error_message"]))
            return run
    sys.exit("%s: no case %s" % (build, case))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("a")
    parser.add_argument("b")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--large", action="store_true")
    arguments = parser.parse_args()
    cases = CASES + (LARGE_CASES if arguments.large else [])
    print("A: %s\nB: %s" % (arguments.a, arguments.b))
    for program, case in cases:
        print("\n" + case)
        firsts = {"A": [], "B": []}
        for _ in range(arguments.rounds):
            for side, build in (("A", arguments.a), ("B", arguments.b)):
                run = run_case(build, program, case, arguments.large)
                firsts[side].append(run["first_cpu_ms"])
                print("  %s %s" % (side, "  ".join("%s=%.4g" % (key, run[key]) for key in SHOWN if key in run)))
        a, b = statistics.median(firsts["A"]), statistics.median(firsts["B"])
        print("  first call, processor time: B / A = %.2f (A %.0f ms, B %.0f ms)" % (b / a, a, b))
    return 0


if __name__ == "__main__":
    sys.exit(main())
