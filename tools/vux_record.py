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
    return lines


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
