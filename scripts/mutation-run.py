#!/usr/bin/python3
"""Puts realistic one-line faults (mutants) into the product code one at a time and runs the
README's tests against each: a mutant the tests do not notice shows a behaviour no test checks.

    scripts/mutation-run.py [--build build/mutation] [--only TEXT] [scripts/mutants.txt]

Each mutant is a block of three lines in the list, after a blank line or a comment:
    path/of/the/file.cpp
    - the exact text to replace (it must occur exactly once in the file)
    + its replacement
The build tree is configured once (release, tests, Python module); for each mutant the file is
changed, the tree rebuilt, ctest and the Python tests run, and the file restored whatever happens.
A mutant is killed when the build fails or a test fails. Prints one line per mutant and the kill
rate; exits 1 when a mutant could not be applied (its text is gone: update the list). Takes about
10-40 s a mutant on a 2-core machine with ccache: not part of the test command.
"""
import argparse
import os
import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def read_mutants(path):
    mutants, lines = [], [line.rstrip("\n") for line in path.read_text().splitlines()]
    k = 0
    while k < len(lines):
        if not lines[k].strip() or lines[k].startswith("#"):
            k += 1
            continue
        file, original, replacement = lines[k:k + 3]
        if not (original.startswith("- ") and replacement.startswith("+ ")):
            sys.exit(f"{path}:{k + 1}: a mutant is a file, a '- ' line and a '+ ' line")
        mutants.append((file.strip(), original[2:], replacement[2:], k + 1))
        k += 3
    return mutants


def run(command, timeout):
    """None when the command succeeds, else the end of what it printed."""
    try:
        done = subprocess.run(command, cwd=ROOT, capture_output=True, text=True, timeout=timeout,
                              env=dict(os.environ, SPDLOG_LEVEL="off"))
    except subprocess.TimeoutExpired:
        return f"{command[0]}: no answer within {timeout} s"
    return None if done.returncode == 0 else (done.stdout + done.stderr)[-3000:]


def failure(build):
    """None when the tree builds and every test passes, else what failed first."""
    python_tests = ["/usr/bin/python3", "-m", "pytest", "-q", "-x", "-p", "no:cacheprovider", "tests/python"]
    environment = f"PYTHONPATH={build}/tools/python COREIO_ALIGN={build}/tools/coreio-align/coreio-align"
    return (run(["cmake", "--build", str(build), "-j", str(os.cpu_count())], 1800)
            or run(["ctest", "--test-dir", str(build), "-j", str(os.cpu_count()), "--stop-on-failure",
                    "--timeout", "300"], 1800)
            or run(["sh", "-c", environment + " " + " ".join(python_tests)], 600))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("mutants", nargs="?", default=str(ROOT / "scripts" / "mutants.txt"))
    parser.add_argument("--build", default=str(ROOT / "build" / "mutation"))
    parser.add_argument("--only", help="run only the mutants whose file or text contains this")
    arguments = parser.parse_args()
    build = pathlib.Path(arguments.build).resolve()
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DCOREIO_BUILD_BENCHMARKS=OFF"], check=True, capture_output=True)
    unmutated = failure(build)
    if unmutated:
        sys.exit(f"the tests fail without any mutant: fix them first\n{unmutated}")
    mutants = [m for m in read_mutants(pathlib.Path(arguments.mutants))
               if not arguments.only or arguments.only in m[0] + m[1]]
    killed, unapplied = 0, 0
    for file, original, replacement, line in mutants:
        path = ROOT / file
        text = path.read_text()
        if text.count(original) != 1:
            print(f"NOT APPLIED  {file} (list line {line}): the text occurs {text.count(original)} times")
            unapplied += 1
            continue
        started = time.monotonic()
        try:
            path.write_text(text.replace(original, replacement))
            alive = failure(build) is None
        finally:
            path.write_text(text)
        killed += not alive
        print(f"{'SURVIVED' if alive else 'killed  '}  {file}: {original.strip()} -> {replacement.strip()}"
              f"  ({time.monotonic() - started:.0f} s)", flush=True)
    applied = len(mutants) - unapplied
    print(f"\n{killed} of {applied} mutants killed ({100.0 * killed / max(applied, 1):.0f} %)")
    subprocess.run(["cmake", "--build", str(build)], cwd=ROOT, capture_output=True)  # the tree as it is again
    return 1 if unapplied else 0


if __name__ == "__main__":
    sys.exit(main())
