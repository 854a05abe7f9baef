"""One row of a batch on a worker, and the summary row it gives.

run_pair(job) runs coreio.align_files for a PairJob and returns its summary row (SUMMARY_COLUMNS,
plus notes as a list and report, coreio-align's printed text). The order of what it leaves on disk
makes an interrupted run safe to repeat: the old record goes first, the Exodus II file and the
picture each take their place whole, and the record of the new row comes last. recorded_row(job)
gives back that row while the outputs are complete and newer than both inputs.
"""
import json
import os
import secrets
import socket
import time
from contextlib import contextmanager

import coreio
from coreio import EXIT_BAD_INPUT, EXIT_BAD_USAGE, EXIT_BELOW_COVERAGE, EXIT_DONE

SUMMARY_COLUMNS = ("row", "before", "after", "output", "picture", "exit_code", "coverage", "coincident", "inside",
                   "near", "outside", "tube", "biggest_square_error", "completed", "displacement_max",
                   "displacement_mean", "displacement_rms", "read_seconds", "align_seconds", "fields_seconds",
                   "write_seconds", "picture_seconds", "seconds", "attempts", "reused", "worker", "message", "notes")


def run_pair(job):
    """Aligns the pair of a PairJob and writes its outputs; returns the summary row. Never raises for
    bad input or options: the row's exit_code and message say what went wrong."""
    if job.problem:
        return failed_row(job, EXIT_BAD_USAGE, job.problem)
    _remove(job.record)
    started = time.perf_counter()
    outcome = _aligned(job)
    row = summary_row(job, outcome)
    row.update(seconds=time.perf_counter() - started, worker=socket.gethostname())
    if outcome["exit_code"] in (EXIT_DONE, EXIT_BELOW_COVERAGE):
        with replaced_whole(job.record) as file:
            json.dump({"arguments": _arguments(job), "row": row}, file, indent=1)
    return row


def recorded_row(job):
    """The summary row an earlier run recorded for this job, or None when its outputs are missing,
    older than an input, or were made from other arguments."""
    if job.problem:
        return None
    try:
        with open(job.record, encoding="utf-8") as file:
            record = json.load(file)
        newest_input = max(os.stat(path).st_mtime_ns for path in (job.before, job.after))
        oldest_output = min(os.stat(path).st_mtime_ns for path in (job.output, job.picture, job.record))
    except (OSError, ValueError):
        return None
    if not isinstance(record, dict) or record.get("arguments") != _arguments(job) or oldest_output <= newest_input:
        return None
    return {**record["row"], "row": job.row, "reused": True}


def failed_row(job, exit_code, message):
    """The summary row of a job that gave no alignment."""
    row = dict.fromkeys(SUMMARY_COLUMNS)
    row.update(row=job.row, before=job.before, after=job.after, output=job.output, picture=job.picture,
               exit_code=exit_code, message=message, notes=[], report="", reused=False)
    return row


def summary_row(job, outcome):
    """The summary row of align_files' outcome for this job."""
    row = failed_row(job, outcome["exit_code"], outcome["message"])
    row.update(notes=list(outcome["notes"]), report=outcome["report"])
    summary = outcome["summary"]
    if summary is None:
        return row
    displacement = summary["displacement"]
    row.update(coverage=summary["coverage"], **summary["counts"], tube=summary["tube"],
               biggest_square_error=summary["biggest_square_error"], completed=summary["completed"],
               displacement_max=displacement["max"], displacement_mean=displacement["mean"],
               displacement_rms=displacement["rms"])
    row.update({f"{phase}_seconds": seconds for phase, seconds in summary["times"].items()})
    return row


def _aligned(job):
    """align_files' outcome; the Exodus II file and the picture each take their place whole."""
    try:
        return coreio.align_files(job.before, job.after, output=job.output, png=job.picture, **job.options)
    except ValueError as error:  # an option align_files does not take
        return {"exit_code": EXIT_BAD_USAGE, "message": str(error), "notes": [], "summary": None, "report": ""}


def _arguments(job):
    return {"before": job.before, "after": job.after, "output": job.output, "options": job.options}


@contextmanager
def replaced_whole(path):
    """A text file to write, put in place of path once complete under a hidden temporary name
    beside it: nobody reads it half written, whatever stops the writing."""
    folder, name = os.path.split(path)
    temporary = os.path.join(folder, f".{name}.{os.getpid()}.{secrets.token_hex(8)}.tmp")
    try:
        with open(temporary, "w", newline="", encoding="utf-8") as file:
            yield file
        os.replace(temporary, path)
    finally:
        _remove(temporary)


def _remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass
