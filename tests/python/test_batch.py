"""coreio.batch on a local cluster of two worker processes, against coreio-align on the same pairs.

Run with PYTHONPATH=<build>/tools/python and COREIO_ALIGN=<build>/tools/coreio-align (scripts/check.sh).
"""
import csv
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

import netCDF4
import numpy as np
import pytest
from distributed.diagnostics.plugin import WorkerPlugin

from coreio import batch
from coreio.pair_run import recorded_row, run_pair
from coreio.pair_table import TableError, pair_jobs, read_table

# One row per pair: the demo's files it copies (case/file, and how the copy is changed: "truncated"
# (corrupt), "shifted" (a quarter outside the before body), "far" (the pair disjoint)), the options
# of the row, each of which changes what coreio-align writes or says, and the tool's exit code.
PAIRS = [
    ("sheet/before", "sheet/after", {}, 0),
    ("tube/before", "tube/after", {}, 0),
    ("sheet/after", "sheet/before", {"complete": "yes"}, 0),
    ("tube/before", "tube/after", {"tube": "no", "map": "none"}, 1),  # a tube laid flat folds over
    ("sheet/before", "sheet/after shifted", {"min-coverage": "0.5", "output": "named/sheet.exo"}, 0),
    ("sheet/after", "sheet/before", {"ic": "reference-xy"}, 0),
    ("sheet/before", "sheet/after", {"body": "sheet", "step": "1"}, 0),
    ("tube/before", "tube/after", {"before-step": "last", "after-body": "tube", "complete": "true"}, 0),
    ("sheet/before", "sheet/after", {"map": "INITIALCOORD0", "displacement": "none"}, 0),
    ("tube/after", "tube/before", {}, 0),
    ("sheet/before truncated", "sheet/after", {}, 1),
    ("sheet/before", "sheet/after far", {}, 3),
]
SHIFTS = {"shifted": 0.3, "far": 100.0}  # added to INITIALCOORD0


@pytest.fixture(scope="module")
def table(tmp_path_factory):
    """PAIRS written as a CSV beside copies of the demo's files, each row with its own."""
    folder = tmp_path_factory.mktemp("pairs")
    demo = folder / "demo"
    subprocess.run([os.environ["COREIO_ALIGN"], "--demo", "-o", str(demo)], check=True, capture_output=True)
    rows = []
    for number, (before, after, options, _) in enumerate(PAIRS, start=1):
        names = [copied_demo_file(demo, source, folder / f"{number:02}-{side}.exo")
                 for source, side in ((before, "before"), (after, "after"))]
        rows.append({"before": names[0], "after": names[1], **options})
    columns = ["before", "after"] + sorted({column for row in rows for column in row} - {"before", "after"})
    with open(folder / "pairs.csv", "w", newline="") as file:
        writer = csv.DictWriter(file, fieldnames=columns)
        writer.writeheader()
        writer.writerows(rows)
    return folder / "pairs.csv"


def copied_demo_file(demo, source, target):
    name, _, change = source.partition(" ")
    shutil.copyfile(demo / f"{name}.exo", target)
    if change == "truncated":
        os.truncate(target, os.path.getsize(target) // 3)
    elif change in SHIFTS:
        with netCDF4.Dataset(target, "a") as file:
            names = list(netCDF4.chartostring(file["name_nod_var"][:]))
            values = file[f"vals_nod_var{names.index('INITIALCOORD0') + 1}"]
            values[:] = values[:] + SHIFTS[change]
    return target.name


@pytest.fixture(scope="module")
def client():
    with batch.local_client(workers=2) as client:
        yield client


class KillOnThirdStart(WorkerPlugin):
    """Kills the first worker that starts its third task, while that task runs; once per marker."""

    def __init__(self, marker):
        self.marker = marker
        self.starts = 0

    def transition(self, key, start, finish, **kwargs):
        if finish != "executing":
            return
        self.starts += 1
        if self.starts != 3:
            return
        try:
            descriptor = os.open(self.marker, os.O_CREAT | os.O_EXCL | os.O_WRONLY)
        except FileExistsError:
            return
        os.write(descriptor, str(os.getpid()).encode())
        os.close(descriptor)
        threading.Timer(0.1, os.kill, (os.getpid(), signal.SIGKILL)).start()


@pytest.fixture(scope="module")
def killed_batch(table, client, tmp_path_factory):
    """The table's batch through align_pairs, with a worker killed in the middle: (rows, out, killed pid)."""
    out = tmp_path_factory.mktemp("out")
    marker = out.parent / f"{out.name}-killed"
    client.register_worker_plugin(KillOnThirdStart(str(marker)), name="kill-on-third-start")
    summary = batch.align_pairs(read_table(table), out, client)
    return summary, out, int(marker.read_text())


def read_csv(path):
    with open(path, newline="") as file:
        return list(csv.DictReader(file))


def default_output(out, number):
    return out / f"{number:02}-before__{number:02}-after.exo"


def coreio_align(table, row, output):
    """coreio-align on the row's pair with its options: exit code, printed report, last message."""
    options = []
    for column, value in PAIRS[row - 1][2].items():
        if column == "complete":
            options += ["--complete"] if value in ("yes", "true") else []
        elif column != "output":
            options += [f"--{column}", value]
    pair = [str(table.parent / f"{row:02}-{side}.exo") for side in ("before", "after")]
    written = ["-o", str(output), "--png", str(output.with_suffix(".png"))]
    ran = subprocess.run([os.environ["COREIO_ALIGN"], *pair, *written, *options], capture_output=True, text=True)
    message = ran.stderr.strip().splitlines()[-1].removeprefix("coreio-align: ") if ran.stderr else ""
    return ran.returncode, ran.stdout, message


def without_times(report):
    return [line for line in report.splitlines() if not line.startswith("  time ")]


def assert_same_exodus(path, reference):
    """Equal but for the QA and info records, which name the program's run."""
    with netCDF4.Dataset(path) as ours, netCDF4.Dataset(reference) as theirs:
        assert ours.variables.keys() == theirs.variables.keys()
        for name in theirs.variables.keys() - {"qa_records", "info_records"}:
            np.testing.assert_array_equal(ours[name][:], theirs[name][:], err_msg=name)


def test_every_row_is_summed_up_once_in_input_order(killed_batch, table):
    summary, out, _ = killed_batch
    assert [row["row"] for row in summary] == list(range(1, len(PAIRS) + 1))
    assert [row["exit_code"] for row in summary] == [code for *_, code in PAIRS]
    assert [os.path.basename(row["before"]) for row in summary] == [f"{n:02}-before.exo" for n in range(1, len(PAIRS) + 1)]
    written = read_csv(out / "summary.csv")
    assert [int(row["exit_code"]) for row in written] == [row["exit_code"] for row in summary]
    assert [row["message"] for row in written] == [row["message"] for row in summary]
    assert json.loads((out / "summary.json").read_text()) == json.loads(json.dumps(summary))
    assert batch.batch_exit_code(summary) == 1


@pytest.mark.parametrize("row", range(1, len(PAIRS) + 1))
def test_each_row_writes_and_says_what_coreio_align_does(killed_batch, table, tmp_path, row):
    summary, out, _ = killed_batch
    ours = out / PAIRS[row - 1][2]["output"] if "output" in PAIRS[row - 1][2] else default_output(out, row)
    reference = tmp_path / "reference.exo"
    exit_code, report, message = coreio_align(table, row, reference)

    def as_ours(text):
        return text.replace(str(reference.with_suffix("")), str(ours.with_suffix("")))

    assert summary[row - 1]["exit_code"] == exit_code
    assert summary[row - 1]["message"] == as_ours(message)
    assert without_times(summary[row - 1]["report"]) == without_times(as_ours(report))
    assert ours.exists() == reference.exists()
    if reference.exists():
        assert_same_exodus(ours, reference)
        assert ours.with_suffix(".png").read_bytes() == reference.with_suffix(".png").read_bytes()


def test_a_worker_killed_mid_batch_is_replaced_and_its_pair_run_again(killed_batch, client):
    summary, out, killed = killed_batch
    assert sorted(row["attempts"] for row in summary) == [1] * (len(PAIRS) - 1) + [2]
    client.wait_for_workers(2, timeout=30)
    assert killed not in client.run(os.getpid).values()


def test_an_interrupted_batch_run_again_aligns_only_the_pairs_not_done(table, client, tmp_path):
    command = [sys.executable, "-m", "coreio.batch", str(table), "--out", str(tmp_path), "--scheduler",
               client.scheduler.address, "--no-progress"]
    # A shell's background job ignores SIGINT, and a program inherits that: restore the user's Ctrl-C.
    first = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    while len(list(tmp_path.glob("*__*.json"))) < 3 and first.poll() is None:
        time.sleep(0.02)
    first.send_signal(signal.SIGINT)
    assert first.wait(timeout=60) == batch.EXIT_INTERRUPTED, first.communicate()
    interrupted = read_csv(tmp_path / "summary.csv")
    done = {int(row["row"]) for row in interrupted if row["exit_code"] in ("0", "3")}
    assert 3 <= len(done) < len(PAIRS) and any("interrupted" in row["message"] for row in interrupted)
    outputs = {number: default_output(tmp_path, number) if number != 5 else tmp_path / "named/sheet.exo"
               for number in done}
    stamps = {number: os.stat(path).st_mtime_ns for number, path in outputs.items()}

    again = subprocess.run(command, capture_output=True, text=True, timeout=60)
    assert again.returncode == batch.EXIT_BAD_INPUT, again.stderr  # the corrupt file
    summary = json.loads((tmp_path / "summary.json").read_text())
    assert [row["exit_code"] for row in summary] == [code for *_, code in PAIRS]
    assert {row["row"] for row in summary if row["reused"]} == done
    assert {number: os.stat(path).st_mtime_ns for number, path in outputs.items()} == stamps
    assert not list(tmp_path.rglob("*.tmp"))


def touch_later(path):
    os.utime(path, ns=(time.time_ns() + 10**9,) * 2)


@pytest.mark.parametrize("change, other_cells, reused", [
    (lambda job: None, {}, True),
    (lambda job: touch_later(job.after), {}, False),
    (lambda job: os.remove(job.picture), {}, False),
    (lambda job: open(job.record, "w").close(), {}, False),
    (lambda job: os.utime(job.output, ns=(0, 0)), {}, False),
    (lambda job: None, {"complete": True}, False),
])
def test_a_pair_is_reused_only_while_its_outputs_are_whole_newer_and_of_its_options(table, tmp_path, change,
                                                                                     other_cells, reused):
    pair = {"before": table.parent / "01-before.exo", "after": table.parent / "01-after.exo"}
    job = pair_jobs([pair], tmp_path)[0]
    ran = run_pair(job)
    change(job)
    assert recorded_row(pair_jobs([{**pair, **other_cells}], tmp_path)[0]) == ({**ran, "reused": True} if reused
                                                                               else None)


@pytest.mark.parametrize("rows, message", [
    ([{"before": "a.exo", "after": "b.exo", "min_coverag": "1"}], "unknown column min-coverag"),
    ([{"before": "a.exo", "output": "x.exo"}], "no column after"),
    ([{"before": "a.exo", "after": "b.exo"}, {"before": "c/a.exo", "after": "c/b.exo"}],
     "a__b.exo is written by row 2 and row 1"),
    ([{"before": "a.exo", "after": "b.exo", "output": "c.exo"}, {"before": "out/c.exo", "after": "b.exo"}],
     "c.exo, an input of row 2, is written by row 1"),
    ([{"before": "a.exo", "after": "b.exo", "output": "summary.exo"}], "summary.json is written by row 1 and the"),
])
def test_a_table_that_cannot_run_is_refused_before_any_work(tmp_path, monkeypatch, rows, message):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(TableError, match=message):
        batch.align_pairs(rows, "out")
    assert not (tmp_path / "out").exists()


@pytest.mark.parametrize("text", ["before,after\nx/a.exo, b.exo\n", "\ufeffBefore;After\r\nx/a.exo;b.exo\r\n",
                                  "before\tafter\nx/a.exo\tb.exo\n"])
def test_a_table_is_read_with_its_separator_and_paths_from_its_folder(tmp_path, text):
    (tmp_path / "pairs.csv").write_text(text, encoding="utf-8")
    rows = read_table(tmp_path / "pairs.csv")
    assert rows == [{"before": str(tmp_path / "x" / "a.exo"), "after": str(tmp_path / "b.exo")}]


def test_relative_paths_of_rows_are_taken_from_the_current_folder_for_every_worker(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    job = pair_jobs([{"before": "x/a.exo", "after": "b.exo"}], "out")[0]
    assert (job.before, job.after, job.output) == (str(tmp_path / "x" / "a.exo"), str(tmp_path / "b.exo"),
                                                   str(tmp_path / "out" / "a__b.exo"))


@pytest.mark.parametrize("cells, problem", [
    ({"complete": "maybe"}, "complete: yes or no .*not 'maybe'"),
    ({"min-coverage": "most"}, "min-coverage: a share from 0 to 1, not 'most'"),
    ({"before": ""}, "no before file named"),
])
def test_a_row_with_a_cell_the_tool_would_not_take_is_reported_not_run(tmp_path, cells, problem):
    job = pair_jobs([{"before": "a.exo", "after": "b.exo", **cells}], tmp_path)[0]
    row = run_pair(job)
    assert row["exit_code"] == 2 and row["message"] == job.problem
    assert re.fullmatch(problem, job.problem)
    assert not os.listdir(tmp_path)


@pytest.mark.parametrize("codes, exit_code", [([0, 0], 0), ([0, 3], 3), ([3, 1, 0], 1), ([0, 2], 1), ([0, None], 1)])
def test_the_batch_exit_code_is_the_worst_row(codes, exit_code):
    assert batch.batch_exit_code([{"exit_code": code} for code in codes]) == exit_code
