"""Many pairs of result files aligned at once on dask.distributed, on this machine or on a cluster.

    python3 -m coreio.batch pairs.csv --out aligned                          # a local cluster
    python3 -m coreio.batch pairs.csv --out aligned --scheduler tcp://host:8786

    rows = coreio.batch.align_pairs([{"before": "a.exo", "after": "b.exo", "complete": True}], "aligned")

Each row of the table is one task, coreio.align_files on a worker: it writes what coreio-align
BEFORE AFTER -o OUT --png OUT.png writes, with the same messages, and a record of its summary row
(OUT.json) last. A bad file, a disjoint pair or a pair below its coverage is a row of the summary
(out/summary.csv, out/summary.json); a worker that dies is replaced and the scheduler starts its
pair again elsewhere. A row whose outputs are complete and newer than its inputs is taken from its
record instead of run again, unless forced.
"""
import argparse
import csv
import json
import os
import secrets
import sys
import time
from contextlib import contextmanager, nullcontext

from coreio import EXIT_BAD_INPUT, EXIT_BAD_USAGE, EXIT_BELOW_COVERAGE, EXIT_DONE

from .pair_run import SUMMARY_COLUMNS, failed_row, recorded_row, replaced_whole, run_pair
from .pair_table import COLUMNS, SUMMARY_FILES, TableError, pair_jobs, read_table

EXIT_INTERRUPTED = 130
# A worker holds no more pairs than it has threads: the scheduler blames every pair a dying worker
# holds, so a pair queued behind one that exhausts the memory would fail with it. Checks and samples
# at a pace for tasks of seconds (bench/python/batch_benchmark.py).
_LOCAL_CLUSTER_SETTINGS = {
    "distributed.scheduler.worker-saturation": 1.0,
    "distributed.worker.profile.enabled": False,
    "distributed.admin.tick.interval": "500ms",
    "distributed.admin.system-monitor.interval": "2s",
    "distributed.worker.memory.monitor-interval": "500ms",
}
_POLL_SECONDS = 0.2
_SHOWN_FAILURES = 20


class ClusterError(RuntimeError):
    """The cluster cannot run the batch: its scheduler is out of reach or its workers lack coreio."""


def align_pairs(rows, out, client=None, *, force=False, progress=False, workers=None, threads_per_worker=1,
                memory_limit=None):
    """Aligns the pair of every row on a dask cluster and writes out/summary.csv and out/summary.json.

    - rows: dicts with the columns of a table of pairs (coreio.pair_table.COLUMNS; options may use
      underscores and Python values: True, 0.9, ["A0", "A1"]); relative paths from the current folder
    - out: the output folder, made when missing
    - client: a distributed.Client whose workers can import coreio; None: a local cluster for the call,
      started only when a row is to run, of local_client(workers, threads_per_worker, memory_limit)
    - force: run rows again whose outputs are complete and newer than their inputs
    - progress: a progress bar on stderr (when it is a terminal)
    Returns the summary rows in the order of rows (coreio.pair_run.SUMMARY_COLUMNS, with notes as a
    list and report, coreio-align's printed text). Raises TableError (a ValueError) before any work
    for rows that cannot run as a batch, ClusterError when the workers cannot import coreio, and
    KeyboardInterrupt once the pairs being aligned have finished and the summary is written, the
    rows not run marked so.
    """
    jobs = pair_jobs(rows, out)
    os.makedirs(out, exist_ok=True)
    for job in jobs:
        if job.output:
            os.makedirs(os.path.dirname(job.output), exist_ok=True)
    summary = {}
    if not force:
        summary = {job.row: row for job in jobs for row in [recorded_row(job)] if row}
    to_run = [job for job in jobs if job.row not in summary]
    if to_run:
        cluster = nullcontext(client) if client is not None else local_client(workers, threads_per_worker, memory_limit)
        with cluster as running_on:
            _require_coreio_on_workers(running_on)
            try:
                _Run(running_on, to_run, summary, progress).collect()
            except KeyboardInterrupt:
                write_summary(_in_row_order(jobs, summary), out)
                raise
    rows_out = _in_row_order(jobs, summary)
    write_summary(rows_out, out)
    return rows_out


def _in_row_order(jobs, summary):
    return [summary.get(job.row) or failed_row(job, None, "not run: the batch was interrupted first; run it again "
                                                          "to go on") for job in jobs]


def batch_exit_code(rows):
    """0 when every row is done, 3 when some fell below their coverage and none failed, 1 otherwise."""
    codes = {row["exit_code"] for row in rows}
    if codes <= {EXIT_DONE}:
        return EXIT_DONE
    return EXIT_BELOW_COVERAGE if codes <= {EXIT_DONE, EXIT_BELOW_COVERAGE} else EXIT_BAD_INPUT


@contextmanager
def local_client(workers=None, threads_per_worker=1, memory_limit=None):
    """A client of a LocalCluster of worker processes on this machine, closed on leaving.
    - workers: None: one per core this process may use
    - memory_limit: bytes per worker; None: the machine's memory shared among the workers"""
    import dask
    from distributed import Client, LocalCluster

    workers = workers or default_workers()
    with dask.config.set(_LOCAL_CLUSTER_SETTINGS):
        cluster = LocalCluster(n_workers=workers, threads_per_worker=threads_per_worker, processes=True,
                               memory_limit=memory_limit or default_memory_limit(workers), dashboard_address=None)
    with cluster, Client(cluster) as client:
        yield client


def default_workers():
    return len(os.sched_getaffinity(0))


def default_memory_limit(workers):
    import psutil

    return psutil.virtual_memory().total // workers


def write_summary(rows, out):
    """out/summary.csv (notes joined by "; ", no report) and out/summary.json, each replaced whole."""
    csv_path, json_path = (os.path.join(out, name) for name in SUMMARY_FILES)
    with replaced_whole(csv_path) as file:
        writer = csv.DictWriter(file, fieldnames=SUMMARY_COLUMNS, extrasaction="ignore", lineterminator="\n")
        writer.writeheader()
        writer.writerows({name: _cell(value) for name, value in row.items()} for row in rows)
    with replaced_whole(json_path) as file:
        json.dump(rows, file, indent=1)


def _cell(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, list):
        return "; ".join(value)
    return value


def _require_coreio_on_workers(client):
    try:
        client.run(_coreio_location)
    except Exception as error:  # whatever a worker raised while importing
        raise ClusterError(f"the workers of {client.scheduler.address} cannot run coreio ({type(error).__name__}: "
                           f"{error}); install the module where they run, or start them with "
                           f"PYTHONPATH=<build>/tools/python") from error
    if not client.scheduler_info()["workers"]:
        print(f"coreio.batch: the scheduler {client.scheduler.address} has no workers yet; the pairs wait for one "
              f"(dask-worker {client.scheduler.address})", file=sys.stderr)


def _coreio_location():
    import coreio

    return coreio.__file__


def _align_on_worker(job, topic):
    """The task of one row: None when the batch was interrupted before it started; else it tells the
    client that it starts (a worker may die and the scheduler start it again elsewhere) and runs."""
    from distributed import Event, get_worker

    if Event(_stop_event(topic)).is_set():
        return None
    get_worker().log_event(topic, job.row)
    return run_pair(job)


def _stop_event(topic):
    return f"{topic}-stop"


class _Run:
    """The tasks of one batch: submitted in row order, each taken once, as soon as it finishes, and
    then released: a worker that dies later holds no result the scheduler would compute again."""

    def __init__(self, client, jobs, summary, progress):
        from distributed import Event
        from tqdm import tqdm

        self.client = client
        self.summary = summary
        self.reused = len(summary)
        self.topic = f"coreio-batch-{secrets.token_hex(8)}"
        self.starts = {}  # row -> how many times a worker started it
        self.stop = Event(_stop_event(self.topic), client=client)
        self.waiting = {}  # future -> job, until taken
        client.subscribe_topic(self.topic, self._started)
        for job in jobs:
            future = client.submit(_align_on_worker, job, self.topic, key=f"coreio-pair-{job.row}-{self.topic[-16:]}",
                                   pure=False)
            self.waiting[future] = job
        self.bar = tqdm(total=len(summary) + len(jobs), initial=len(summary), unit="pair", file=sys.stderr,
                        disable=None if progress else True, dynamic_ncols=True)

    def _started(self, event):
        row = event[1]
        self.starts[row] = self.starts.get(row, 0) + 1

    def collect(self):
        """Waits for every task. On Ctrl-C the tasks started run to their end, unless a second Ctrl-C
        cancels them, and the others do not run: an interrupted batch knows which rows ran."""
        from distributed import as_completed

        finished = as_completed(list(self.waiting), loop=self.client.loop, with_results=True, raise_errors=False)
        try:
            self._drain(finished)
        except KeyboardInterrupt:
            self._interrupt(finished)
            raise
        finally:
            self.bar.close()
            self.client.unsubscribe_topic(self.topic)

    def _drain(self, finished):
        while not finished.is_empty():
            self._show(sum(self._take(future, result) for future, result in finished.next_batch(block=False)))
            time.sleep(_POLL_SECONDS)

    def _interrupt(self, finished):
        """Tasks not yet given to a worker are cancelled; those given to one see the stop before they
        start, so the only rows still to come are the ones that had started when the stop was set."""
        self.stop.set()
        assigned = {key for keys in self.client.processing().values() for key in keys}
        self.client.cancel([future for future in self.waiting if future.key not in assigned])
        self.bar.write(f"coreio.batch: interrupted; finishing the {self._running()} pair(s) being aligned, leaving "
                       f"the others (Ctrl-C again to leave them too)")
        try:
            self._drain(finished)
        except KeyboardInterrupt:
            self.client.cancel(list(self.waiting))
        finally:
            self.stop.clear()

    def _take(self, future, result):
        """Adds the row of a finished task to the summary; False for a task cancelled or stopped. The
        result's type tells what became of the task: the future's status may have moved on since."""
        job = self.waiting.pop(future)
        future.release()
        if result is None or isinstance(result, BaseException):
            return False
        row = result if isinstance(result, dict) else failed_row(
            job, EXIT_BAD_INPUT, _failure_message(result[1], self.starts.get(job.row)))
        row["attempts"] = self.starts.get(job.row)
        self.summary[job.row] = row
        return True

    def _running(self):
        return sum(1 for job in self.waiting.values() if job.row in self.starts)

    def _show(self, finished):
        codes = [row["exit_code"] for row in self.summary.values()]
        shown = {"done": codes.count(EXIT_DONE), "below coverage": codes.count(EXIT_BELOW_COVERAGE),
                 "failed": len(codes) - codes.count(EXIT_DONE) - codes.count(EXIT_BELOW_COVERAGE),
                 "running": self._running()}
        if self.reused:
            shown["reused"] = self.reused
        self.bar.set_postfix_str(", ".join(f"{name} {count}" for name, count in shown.items()), refresh=False)
        if finished:
            self.bar.update(finished)
        else:
            self.bar.refresh()


def _failure_message(error, starts):
    from distributed.scheduler import KilledWorker

    if isinstance(error, KilledWorker):
        return (f"the workers holding this pair died {error.allowed_failures + 1} times, {starts or 'none'} of them "
                f"while aligning it: a pair that needs more memory than a worker may use kills it; run it alone with "
                f"coreio-align, or give the workers more memory")
    return f"the pair could not be run on the cluster: {type(error).__name__}: {error}"


def _parser():
    workers = default_workers()
    parser = argparse.ArgumentParser(
        prog="python3 -m coreio.batch", formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Aligns many pairs of Exodus II result files, each as coreio-align BEFORE AFTER -o OUT\n"
                    "--png OUT.png does, on a dask cluster: by default a local one on this machine.",
        epilog=f"""PAIRS.csv has a header line and one row per pair. Columns:
  before, after     the result files (required); relative paths are taken from the CSV's folder
  output            the aligned file below DIR; default <before stem>__<after stem>.exo
  {', '.join(COLUMNS[3:7])},
  {', '.join(COLUMNS[7:])}
                    coreio-align's options of those names (see coreio-align --help); an empty
                    cell takes its default; complete is yes or no
Each row writes DIR/<output>, its picture (.png) and its summary row (.json) beside it, each file
whole or not at all; DIR/summary.csv and DIR/summary.json hold one row per input row in input
order: exit code as coreio-align's, coverage, counts by status, tube decision, biggest square
error, displacement, times, output path, attempts and the message of a failure.
A row whose outputs are complete and newer than its inputs is reused, not run again (--force).
Every worker must reach the paths as the CSV names them (a shared folder on a cluster).

exit codes: 0 every pair done; 3 some below their minimum coverage, none failed; 1 some failed
(bad file, bad option, a worker that kept dying) or the cluster could not run them; 2 bad
usage or a table that cannot run (unknown column, two rows writing one file); 130 interrupted
(the pairs done are kept: run the same command again to go on).""")
    parser.add_argument("pairs", metavar="PAIRS.csv", help="the table of pairs")
    parser.add_argument("--out", metavar="DIR", required=True, help="the output folder, made when missing (required)")
    parser.add_argument("--scheduler", metavar="tcp://HOST:PORT",
                        help="submit to this running dask scheduler instead of starting a local cluster "
                             "(default: a local cluster)")
    parser.add_argument("--workers", type=_count, metavar="N",
                        help=f"worker processes of the local cluster (default: one per core, here {workers})")
    parser.add_argument("--threads-per-worker", type=_count, metavar="N",
                        help="pairs each local worker aligns at once (default: 1)")
    parser.add_argument("--memory-limit", metavar="SIZE", type=_bytes,
                        help="memory each local worker may use, e.g. 8GiB; a worker above it is restarted and its pair "
                             f"tried again (default: the machine's memory / workers, here "
                             f"{default_memory_limit(workers) / 2**30:.1f}GiB)")
    parser.add_argument("--force", action="store_true", help="align every pair again, even with complete outputs")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar (default: one on a terminal)")
    return parser


def main(arguments=None):
    parser = _parser()
    options = parser.parse_args(arguments)
    if options.scheduler and (options.workers or options.threads_per_worker or options.memory_limit):
        parser.error("--workers, --threads-per-worker and --memory-limit shape the local cluster; "
                     "the workers of a running scheduler are started with their own")
    try:
        rows = read_table(options.pairs)
        pair_jobs(rows, options.out)  # a table that cannot run is refused before a cluster starts
        with _scheduler_client(options.scheduler) as client:
            summary = align_pairs(rows, options.out, client, force=options.force, progress=not options.no_progress,
                                  workers=options.workers, threads_per_worker=options.threads_per_worker or 1,
                                  memory_limit=options.memory_limit)
    except TableError as error:
        print(f"coreio.batch: {error}", file=sys.stderr)
        return EXIT_BAD_USAGE
    except (ClusterError, OSError) as error:
        print(f"coreio.batch: {error}", file=sys.stderr)
        return EXIT_BAD_INPUT
    except KeyboardInterrupt:
        print(f"coreio.batch: interrupted; the pairs done are kept and {options.out}/summary.csv lists them: run "
              f"the same command again to go on", file=sys.stderr)
        return EXIT_INTERRUPTED
    _print_outcome(summary, options.out)
    return batch_exit_code(summary)


def _count(text):
    if not text.isdigit() or int(text) < 1:
        raise argparse.ArgumentTypeError(f"a whole number from 1, not {text!r}")
    return int(text)


def _bytes(size):
    from dask.utils import parse_bytes

    try:
        return parse_bytes(size)
    except ValueError:
        raise argparse.ArgumentTypeError(f"a size such as 8GiB, not {size!r}") from None


@contextmanager
def _scheduler_client(address):
    """A client of the running scheduler at address; None without one."""
    if not address:
        yield None
        return
    from distributed import Client

    try:
        client = Client(address, timeout="20s")
    except (OSError, TimeoutError) as error:
        raise ClusterError(f"cannot reach the dask scheduler {address}: {error}; start one with dask-scheduler, "
                           f"or leave out --scheduler to run on this machine") from error
    with client:
        yield client


def _print_outcome(summary, out):
    codes = [row["exit_code"] for row in summary]
    reused = sum(1 for row in summary if row["reused"])
    short = [row for row in summary if row["exit_code"] != EXIT_DONE]
    for row in short[:_SHOWN_FAILURES]:
        print(f"coreio.batch: row {row['row']} ({row['before']} -> {row['after']}): {row['message']}", file=sys.stderr)
    if len(short) > _SHOWN_FAILURES:
        print(f"coreio.batch: and {len(short) - _SHOWN_FAILURES} more rows with a message in the summary",
              file=sys.stderr)
    done, below = codes.count(EXIT_DONE), codes.count(EXIT_BELOW_COVERAGE)
    print(f"{len(summary)} pairs: {done} done, {below} below coverage, {len(summary) - done - below} failed"
          f"{f' ({reused} reused from an earlier run)' if reused else ''}; "
          f"summary in {os.path.join(out, SUMMARY_FILES[0])} and {os.path.join(out, SUMMARY_FILES[1])}")


if __name__ == "__main__":
    # Run as a module, this file is __main__: the tasks must come from coreio.batch, the module the
    # workers import, not from this copy.
    from coreio.batch import main as installed_main

    sys.exit(installed_main())
