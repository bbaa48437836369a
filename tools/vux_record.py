"""The run record that vux_reader writes beside its MAT-file when its
configuration has RUN_RECORD = 1 (docs/run-record.schema.json): where it lies,
whether it belongs to the MAT-file, and its numbers. render-plots and
vux_campaign take a run's settings, axes, names, statistics and warnings from
the record alone; neither reads vux_reader.cfg or the console.

    python3 vux_record.py axes OUTPUT.mat

prints what render-plots' Octave code needs to place each vector, one fact a
line, fields separated by tabs (numbers as Python's repr, which reads back
exactly):

    record          PATH   (the record read)
    sample_freq_hz  RATE
    time            NAME   (the every-sample first column's vector, if any)
    vector          NAME  KIND  UNIT  START  STEP  LENGTH   (one per column)

and, when the run wrote a time history (TIME_HISTORY = 1), its companion
MAT-file and what its figures need:

    history           PATH  FULL_WINDOWS  BINS  BANDS  WINDOW_S
    history_vector    NAME  GROUP  AXIS  PSD_UNIT  TITLE  PLOTTED   (one per V)
    history_variable  NAME  ROWS  COLS   (one per matrix of the companion)

PATH is the companion beside the MAT-file (whether or not it is there);
GROUP is 0 and AXIS "-" for a vector of no rotation group; PSD_UNIT is the
column's #MATLAB Y label, "unit^2/Hz" without one; TITLE its #MATLAB title,
the vector's name without one; PLOTTED 1 when the column has a plot kind.

A record that is missing, unreadable or of another MAT-file is told on the
error stream, with exit status 2.
"""

import json
import os
import sys

RECORD = "vux_reader run record"
VERSION = 1
HOW_TO_GET_ONE = ("a run writes it when its vux_reader.cfg has the line RUN_RECORD = 1 "
                  "in #CONSTANTS")


class RecordError(Exception):
    """A record that cannot be used; the text names the file. `missing` tells
    a record that is not there from one that is wrong."""

    def __init__(self, text, missing=False):
        super().__init__(text)
        self.missing = missing


def record_path(mat_path):
    """The record beside a MAT-file: a final ".mat" replaced by ".json", else
    ".json" appended (as vux_reader names it)."""
    return (mat_path[:-4] if mat_path.endswith(".mat") else mat_path) + ".json"


def load(mat_path):
    """The record of the MAT-file at `mat_path`. Raises RecordError when there
    is none, when it is no record of this version, or when it names another
    MAT-file (the record of a run that wrote NAME, which also ends in
    NAME.json, or one copied under another name). Its strings hold the bytes
    that are not UTF-8 as surrogate escapes, as os.fsdecode does."""
    path = record_path(mat_path)
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8")
    except FileNotFoundError:
        raise RecordError(f"no run record beside {mat_path} (looked for {path}); "
                          f"{HOW_TO_GET_ONE}: add it and run vux_reader again",
                          missing=True) from None
    except (OSError, UnicodeDecodeError) as e:
        raise RecordError(f"cannot read the run record {path}: {getattr(e, 'strerror', e)}") from None
    try:
        record = json.loads(text)
        named = record["outputs"]["mat_file"]
        if record["record"] != RECORD or record["record_version"] != VERSION:
            raise ValueError("not a record of this version")
    except (ValueError, KeyError, TypeError):
        raise RecordError(f"{path} is no vux_reader run record of version {VERSION}") from None
    if os.path.basename(named) != os.path.basename(mat_path):
        raise RecordError(f"{path} is the run record of {named}, not of {mat_path}: "
                          "run vux_reader again to write the MAT-file and its record together")
    # A later run without RUN_RECORD = 1 replaces the MAT-file and leaves the
    # record of the earlier one: the fingerprint tells.
    if mat_digest(mat_path) != record["outputs"].get("mat_xxh128"):
        raise RecordError(f"{path} is the run record of an earlier {mat_path}: the MAT-file was written by "
                          f"another run since; {HOW_TO_GET_ONE}: run vux_reader again")
    return record


def mat_digest(mat_path):
    """XXH3-128 of the MAT-file's bytes, as xxh128sum prints it (None when it
    cannot be read), with Python's xxhash module (Debian's python3-xxhash) or
    else the xxh128sum program (Debian's xxhash)."""
    try:
        import xxhash
    except ImportError:
        import subprocess
        try:
            done = subprocess.run(["xxh128sum", "--", mat_path], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, check=True)
        except (OSError, subprocess.CalledProcessError):
            raise RecordError("cannot check that the run record belongs to " + mat_path +
                              ": neither Python's xxhash module nor xxh128sum is installed "
                              "(Debian: python3-xxhash or xxhash)") from None
        return done.stdout.split()[0].decode()
    try:
        with open(mat_path, "rb") as f:
            return xxhash.xxh3_128_hexdigest(f.read())
    except OSError:
        return None


def history_path(mat_path, record):
    """The time-history companion beside the MAT-file at `mat_path` (its path
    with a final ".mat" replaced by "_history.mat", as vux_reader names it),
    or None when the run wrote no time history. Raises RecordError when the
    record names a companion of another name."""
    history = record.get("history")
    if history is None:
        return None
    path = (mat_path[:-4] if mat_path.endswith(".mat") else mat_path) + "_history.mat"
    named = history["mat_file"]
    if os.path.basename(named) != os.path.basename(path):
        raise RecordError(f"{record_path(mat_path)} names the time history {named}, not {path}: "
                          "run vux_reader again to write the MAT-file and its record together")
    return path


def history_groups(record):
    """The history's vectors as vuxhistory.m draws them together: a list of
    (title, [vector, ...]) with each rotation group (ascending, its vectors
    in axis order) first, then each vector of no group (in column order).
    Each vector is a dict: name, group (0 for none), axis ("x", "y", "z" or
    "-"), psd_unit, title and plotted, taken from its column in the record."""
    columns = {column["name"]: column for column in record["columns"]}
    groups, single = {}, []
    for vector in record["history"]["vectors"]:
        plot = columns[vector["column"]]["plot"]
        rotation = vector["rotation"]
        entry = {"name": vector["name"],
                 "group": rotation["group"] if rotation else 0,
                 "axis": rotation["axis"] if rotation else "-",
                 "psd_unit": plot["y_label"] or "unit^2/Hz",
                 "title": plot["title"] or vector["name"],
                 "plotted": plot["type"] not in ("", "0")}
        if rotation:
            groups.setdefault(rotation["group"], []).append(entry)
        else:
            single.append((entry["title"], [entry]))
    ordered = [(f"Rotation group {group}", sorted(vectors, key=lambda v: v["axis"]))
               for group, vectors in sorted(groups.items())]
    return ordered + single


def history_lines(mat_path, record):
    """The history lines of `vux_record.py axes` (none without a history)."""
    path = history_path(mat_path, record)
    if path is None:
        return []
    history = record["history"]
    settings = record["settings"]
    window_s = settings["window_size"] / number(settings["sample_freq_hz"])
    lines = ["\t".join(["history", path, str(history["full_windows"]), str(history["bins"]),
                        str(history["bands"]), repr(window_s)])]
    for _, vectors in history_groups(record):
        for v in vectors:
            lines.append("\t".join(["history_vector", v["name"], str(v["group"]), v["axis"],
                                    v["psd_unit"], v["title"], "1" if v["plotted"] else "0"]))
    for variable in history["variables"]:
        lines.append("\t".join(["history_variable", variable["name"], str(variable["rows"]),
                                str(variable["cols"])]))
    return lines


def number(value):
    """A record's number as a float; a non-finite one is written as the text
    "NaN", "Infinity" or "-Infinity", which float() reads."""
    return float(value)


def axes_lines(mat_path, record):
    """The lines of `vux_record.py axes` (see the module's text)."""
    lines = [f"record\t{record_path(mat_path)}",
             f"sample_freq_hz\t{number(record['settings']['sample_freq_hz'])!r}"]
    columns = record["columns"]
    if columns and columns[0]["sampling_name"] == "every sample":
        lines.append(f"time\t{columns[0]['variable']['name']}")
    for column in columns:
        variable = column["variable"]
        axis = variable["axis"]
        lines.append("\t".join(["vector", variable["name"], axis["kind"], axis["unit"],
                                repr(number(axis["start"])), repr(number(axis["step"])),
                                str(variable["length"])]))
    return lines + history_lines(mat_path, record)


def main(argv):
    if len(argv) != 2 or argv[0] != "axes":
        print("usage: vux_record.py axes OUTPUT.mat", file=sys.stderr)
        return 2
    try:
        record = load(argv[1])
        lines = axes_lines(argv[1], record)
    except RecordError as e:
        print(e, file=sys.stderr)
        return 2
    except (KeyError, TypeError, ValueError):
        print(f"{record_path(argv[1])} is a damaged run record (a fact is missing)", file=sys.stderr)
        return 2
    # Names hold what the file system gave them; a tab or line break in one
    # would split its line, and Octave could not load such a vector anyway.
    sys.stdout.reconfigure(errors="surrogateescape")
    for line in lines:
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
