"""The alignment of two ParaView inputs through coreio, with the choices of coreio-align.

- Choices: what the filter's properties hold, with the command line's meaning and defaults
- align_inputs(before, after, choices) -> Aligned: the after input with the aligned points and
  fields, the summary, and the warnings: coreio's about its input, and one when the coverage falls
  below the minimum
- summary_text(summary) -> the summary as lines of text
Raises ValueError with a message for the user: what is wrong and, where an input is the cause,
its name first ("Before: ...", "After: ...").
"""
import warnings
from dataclasses import dataclass

import numpy as np

import coreio

from . import datasets

REFERENCE_PLANES = ("reference-xy", "reference-yz", "reference-zx")
REFERENCE_CYLINDERS = ("reference-cylinder-x", "reference-cylinder-y", "reference-cylinder-z")


@dataclass(frozen=True)
class Choices:
    initial_coordinates: str = "INITIALCOORD0,INITIALCOORD1"  # --ic: NAME0,NAME1 or reference-...
    tube: str = "auto"  # --tube: auto, yes or no
    complete: bool = False  # --complete
    map: str = "all"  # --map: all, none or NAME,...
    minimum_coverage: float = 1.0  # --min-coverage


@dataclass
class Aligned:
    output: object  # the after input's type and structure, aligned points and new arrays
    summary: dict  # coreio's summary with the time each input showed
    warnings: list  # texts for the user: what coreio noticed, a coverage below the minimum


def align_inputs(before, after, choices):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", coreio.CoreIoWarning)
        aligned = _align(before, after, choices)
    for warning in caught:
        if issubclass(warning.category, coreio.CoreIoWarning):
            aligned.warnings.insert(0, str(warning.message))
        else:
            warnings.showwarning(warning.message, warning.category, warning.filename, warning.lineno)
    return aligned


def _align(before, after, choices):
    before_arrays = datasets.body_arrays(before, "Before")
    after_arrays = datasets.body_arrays(after, "After")
    before_ic = _initial_coordinates(before_arrays, choices.initial_coordinates)
    after_ic = _initial_coordinates(after_arrays, choices.initial_coordinates)
    before_body = _body(before_arrays, before_ic, with_fields=True)
    after_body = _body(after_arrays, after_ic, with_fields=False)
    result = coreio.align(before_body, after_body, tube=choices.tube, complete=choices.complete)
    fields = result.output_fields(map=_map_choice(choices.map))
    summary = {**fields.summary, "before_time": before_arrays.time, "after_time": after_arrays.time}
    output = datasets.with_fields(after, after_arrays, fields, summary)
    return Aligned(output, summary, _coverage_warnings(summary, choices.minimum_coverage))


def summary_text(summary):
    """One line per entry, "name: value", a dict's items on its line."""
    return "\n".join(f"{str(key).replace('_', ' ')}: {_text(value)}" for key, value in summary.items()
                     if value not in (None, "", [], (), {}))


def _text(value):
    if isinstance(value, dict):
        return ", ".join(f"{key.replace('_', ' ')} {_text(item)}" for key, item in value.items())
    if isinstance(value, (list, tuple)):
        return ", ".join(map(_text, value))
    if isinstance(value, float):
        return f"{value:g}"
    return str(value)


def _body(arrays, initial_coordinates, with_fields):
    """A coreio body of an input's arrays; the before body carries its fields to map."""
    try:
        return coreio.body_from_cells(arrays.points, arrays.cells, initial_coordinates,
                                      point_data=arrays.point_data if with_fields else None,
                                      cell_data=arrays.cell_data if with_fields else None,
                                      node_ids=arrays.node_ids, element_ids=arrays.element_ids,
                                      reference_points=_reference_points(arrays))
    except ValueError as error:
        raise ValueError(f"{arrays.name}: {error}") from None


def _initial_coordinates(arrays, choice):
    """The initial coordinates a choice names: two point arrays, or a reference form that coreio
    takes from the reference shape (a cylinder's make the body a tube)."""
    choice = choice.strip()
    if choice.lower() in REFERENCE_PLANES + REFERENCE_CYLINDERS:
        return choice.lower()
    names = [name.strip() for name in choice.split(",")]
    if len(names) != 2 or not all(names):
        raise ValueError(f"Initial Coordinates is {choice!r}: give two point arrays as NAME0,NAME1, or one of "
                         f"{', '.join(REFERENCE_PLANES + REFERENCE_CYLINDERS)}")
    return datasets.initial_coordinates(arrays, names)


def _reference_points(arrays):
    """The points less the displacement ParaView's Exodus readers add to them: the first point array of
    three components whose name begins with DIS, in any case, as coreio-align's --displacement auto."""
    for name, values in arrays.point_data.items():
        if name.upper().startswith("DIS") and np.shape(values)[1:] == (3,):
            return arrays.points - values
    return arrays.points


def _map_choice(choice):
    choice = choice.strip()
    if choice.lower() in ("all", "none"):
        return choice.lower()
    return [name.strip() for name in choice.split(",") if name.strip()]


def _coverage_warnings(summary, minimum):
    coverage = summary["coverage"]
    if coverage >= minimum:
        return []
    outside = summary["counts"]["outside"]
    return [f"coverage {coverage:g} is below the minimum {minimum:g}: {outside} after points lie outside the before "
            "body; they keep their own position and have MATCH_STATUS 3 (color by it to see them)"]
