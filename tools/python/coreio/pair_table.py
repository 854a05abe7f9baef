"""A table of pairs to align: what each row asks coreio.align_files to do, and where it writes.

    rows = read_table("pairs.csv")        # relative paths taken from the table's folder
    jobs = pair_jobs(rows, "aligned")     # one PairJob per row, in the table's order

Columns: before and after (required), output, and the options of coreio-align named as its long
options without dashes (OPTION_COLUMNS). A cell left empty takes the tool's default. Raises
TableError (a ValueError) for what concerns the whole table: no before or after column, an
unknown column, two rows writing the same file, a row writing another row's input. A row whose
cell the tool would not take keeps its reason in PairJob.problem and is reported, not run.
"""
import csv
import os
from dataclasses import dataclass, field

OPTION_COLUMNS = ("body", "before-body", "after-body", "step", "before-step", "after-step", "displacement", "ic",
                  "tube", "complete", "map", "min-coverage")
COLUMNS = ("before", "after", "output") + OPTION_COLUMNS
SUMMARY_FILES = ("summary.csv", "summary.json")

_YES = ("yes", "true", "1")
_NO = ("no", "false", "0")


class TableError(ValueError):
    """A table of pairs that cannot run as a whole; the message names the column or rows."""


@dataclass(frozen=True)
class PairJob:
    """One row of the table, ready for a worker: absolute paths, options as align_files takes them."""
    row: int  # 1 for the first row below the header
    before: str
    after: str
    output: str  # the aligned Exodus II file
    picture: str  # the PNG beside it
    record: str  # the row's summary, written last: a complete output has one
    options: dict = field(default_factory=dict)  # keyword arguments of coreio.align_files, only those given
    problem: str = ""  # why the row is not run; empty when it can be


def read_table(path):
    """The rows of a CSV file with a header, as dicts; before and after taken from the file's folder.
    Cells are separated by commas, or by semicolons or tabs when the header has those and no comma."""
    folder = os.path.dirname(os.path.abspath(path))
    try:
        with open(path, newline="", encoding="utf-8-sig") as table:
            header_line = table.readline()
            table.seek(0)
            separator = next((mark for mark in ",;\t" if mark in header_line), ",")
            reader = csv.DictReader(table, delimiter=separator, skipinitialspace=True)
            rows = list(reader)
            header = reader.fieldnames or []
    except (OSError, UnicodeDecodeError, csv.Error) as error:
        raise TableError(f"{path}: cannot be read as a CSV table: {error}") from error
    if not header:
        raise TableError(f"{path} is empty; its first line names the columns: before,after[,output,...]")
    rows = [_with_column_names(number, row) for number, row in enumerate(rows, start=1)]
    for row in rows:
        for column in ("before", "after"):
            if _text(row.get(column)):
                row[column] = os.path.join(folder, _text(row[column]))
    return rows


def pair_jobs(rows, out):
    """A PairJob per row: output at out/<output> or out/<before stem>__<after stem>.exo, picture and
    record beside it (.png, .json). Relative before and after paths are taken from the current folder."""
    rows = [_with_column_names(number, row) for number, row in enumerate(rows, start=1)]
    _check_columns(rows)
    out = os.path.abspath(out)
    jobs = [_pair_job(number, row, out) for number, row in enumerate(rows, start=1)]
    _check_targets(jobs, out)
    return jobs


def _with_column_names(number, row):
    named = {}
    for key, value in row.items():
        if key is None:  # cells beyond the header
            raise TableError(f"row {number} has {len(value)} more cells than the header has columns: {value}")
        named[str(key).strip().lower().replace("_", "-")] = value
    return named


def _check_columns(rows):
    given = {key for row in rows for key in row}
    unknown = sorted(given - set(COLUMNS))
    if unknown:
        raise TableError(f"unknown column{'s' if len(unknown) > 1 else ''} {', '.join(unknown)}; "
                         f"the columns are {', '.join(COLUMNS)}")
    missing = [column for column in ("before", "after") if rows and column not in given]
    if missing:
        raise TableError(f"no column {' and '.join(missing)}: every row names the before and after result files")


def _text(value):
    """A cell as coreio-align's command line has it: lists joined with commas, None and blanks empty."""
    if value is None:
        return ""
    if isinstance(value, (list, tuple)):
        return ",".join(str(item).strip() for item in value)
    return str(value).strip()


def _pair_job(number, row, out):
    before, after = (_text(row.get(side)) for side in ("before", "after"))
    before, after = (os.path.abspath(path) if path else "" for path in (before, after))
    output = _text(row.get("output"))
    if not output and before and after:
        output = f"{_stem(before)}__{_stem(after)}.exo"
    output = os.path.join(out, output) if output else ""
    stem = os.path.splitext(output)[0]
    options, problems = _options(row)
    if not before or not after:
        problems.insert(0, f"no {'before' if not before else 'after'} file named")
    return PairJob(number, before, after, output, stem + ".png" if output else "", stem + ".json" if output else "",
                   options, "; ".join(problems))


def _stem(path):
    return os.path.splitext(os.path.basename(path))[0]


def _options(row):
    options, problems = {}, []
    for column in OPTION_COLUMNS:
        cell = row.get(column)
        if not _text(cell):
            continue
        try:
            options[column.replace("-", "_")] = _option_value(column, cell)
        except ValueError as error:
            problems.append(f"{column}: {error}")
    return options, problems


def _option_value(column, value):
    if column == "complete":
        if isinstance(value, bool):
            return value
        word = _text(value).lower()
        if word not in _YES + _NO:
            raise ValueError(f"yes or no (or true/false, 1/0), not {value!r}")
        return word in _YES
    if column == "min-coverage":
        try:
            return float(_text(value))
        except ValueError:
            raise ValueError(f"a share from 0 to 1, not {value!r}") from None
    return _text(value)


def _check_targets(jobs, out):
    """Two rows writing one file would race; a row writing another's input would destroy it."""
    writers = {os.path.realpath(os.path.join(out, name)): "the batch's summary" for name in SUMMARY_FILES}
    clashes = []
    for job in jobs:
        for target in (job.output, job.picture, job.record) if job.output else ():
            key = os.path.realpath(target)
            if key in writers:
                clashes.append(f"{target} is written by row {job.row} and {writers[key]}")
            writers[key] = f"row {job.row}"
    for job in jobs:
        for source in (job.before, job.after):
            writer = writers.get(os.path.realpath(source)) if source else None
            if writer:
                clashes.append(f"{source}, an input of row {job.row}, is written by {writer}")
    if clashes:
        more = f" (and {len(clashes) - 5} more)" if len(clashes) > 5 else ""
        raise TableError("; ".join(clashes[:5]) + more + ": give each row its own output in an output column; "
                         "a pair that needs another's output runs in a later batch")
