"""Shared pieces of the end-to-end tests: running the generator and the tool in
a scratch directory, reading the data file the way the tool's number parser
does, and the default configuration's equations written out independently."""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

BINARY = os.environ.get("VUX_BINARY", "")
GENERATOR = os.environ.get("VUX_GEN", "")
SOURCE_DIR = os.environ.get("VUX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))

TIMING_MASKS = [
    (re.compile(rb"took \S+ seconds"), b"took <T> seconds"),
    (re.compile(rb"\.\.\.\S+s elapsed"), b"...<T>s elapsed"),
    (re.compile(rb"Remaining \S+s\.\.\."), b"Remaining <T>s..."),
    (re.compile(rb"processing time: \S+s"), b"processing time: <T>s"),
]


def mask_timings(text):
    for pattern, replacement in TIMING_MASKS:
        text = pattern.sub(replacement, text)
    return text


class Workspace:
    """A scratch directory holding one generated flight and the tool's outputs."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vux_e2e_")

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def generate(self, name="flight.csv", duration=3.0, rate=10000, seed=7):
        subprocess.run([GENERATOR, "--duration", str(duration), "--rate", str(rate),
                        "--seed", str(seed), "-o", self.path(name)], check=True)
        return self.path(name)

    def run(self, *args):
        """Runs the tool; returns (status, stdout bytes)."""
        done = subprocess.run([BINARY, *args], cwd=self.dir, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=600)
        return done.returncode, done.stdout

    def edit_config(self, old, new):
        path = self.path("vux_reader.cfg")
        with open(path, "rb") as f:
            text = f.read()
        assert old.encode() in text, old
        with open(path, "wb") as f:
            f.write(text.replace(old.encode(), new.encode()))


def parse_number(text):
    """The tool's data-field number parser, step by step (not float())."""
    i, n = 0, len(text)
    while i < n and text[i] in " \t":
        i += 1
    sign = 1.0
    if i < n and text[i] == "-":
        sign = -1.0
        i += 1
    elif i < n and text[i] == "+":
        i += 1
    value = 0.0
    while i < n and "0" <= text[i] <= "9":
        value = value * 10.0 + float(ord(text[i]) - 48)
        i += 1
    if i < n and text[i] == ".":
        i += 1
        d = 10.0
        while i < n and "0" <= text[i] <= "9":
            value += float(ord(text[i]) - 48) / d
            d *= 10.0
            i += 1
    scale, negative = 1.0, False
    if i < n and text[i] in "eE":
        i += 1
        if i < n and text[i] == "-":
            negative = True
            i += 1
        elif i < n and text[i] == "+":
            i += 1
        e = 0
        while i < n and "0" <= text[i] <= "9":
            e = min(e * 10 + ord(text[i]) - 48, 100000)
            i += 1
        e = min(e, 308)
        while e >= 50:
            scale *= 1e50
            e -= 50
        while e >= 8:
            scale *= 1e8
            e -= 8
        while e > 0:
            scale *= 10.0
            e -= 1
    return (value / scale) * sign if negative else (value * scale) * sign


def read_rows(path):
    """The data rows after the marker and headings lines, as lists of field texts."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")
    marker = lines.index(b"Data Starts Here,,,,,,,,,,,,,,,,,,,\r")
    rows = []
    for raw in lines[marker + 2:]:
        if raw:
            rows.append(raw.rstrip(b"\r").decode("ascii").split(","))
    return rows


# The default configuration's constants and equations, written out by hand.
ADC_OFFSET = 2500.0
DIVISION_FACTORS = {"ANGX": 1.23, "ANGY": 1.25, "ANGZ": 1.27, "LINX": 108.4, "LINY": 100.4, "LINZ": 104.3}
COLUMNS = ["TIME", "PRES", "TEMP", "HUMD", "ANGX", "ANGY", "ANGZ", "LINX", "LINY", "LINZ"]


def default_normalised(pres, temp, humd):
    """PRES, TEMP and HUMD of one window's first row in engineering units."""
    sensor_pres = (pres + ADC_OFFSET) - 500.0
    temp_ohms = (temp + ADC_OFFSET) / ((5000.0 - (temp + ADC_OFFSET)) / 4000.0)
    sensor_rh = (((humd + ADC_OFFSET) / 5000.0) - 0.16) / 0.0062
    pres_act = sensor_pres / 4500.0 * 17.4
    temp_act = (temp_ohms - 1000.0) / 3.75
    humd_act = sensor_rh / (1.0546 - (0.00216 * temp_act))
    return pres_act, temp_act, humd_act


def load_record(path):
    """The run record at `path`, validated against docs/run-record.schema.json
    (python3-jsonschema); strings hold surrogate escapes for bytes that are
    not UTF-8."""
    import jsonschema
    with open(os.path.join(SOURCE_DIR, "docs", "run-record.schema.json")) as f:
        schema = json.load(f)
    with open(path, "rb") as f:
        record = json.loads(f.read().decode("utf-8"))
    jsonschema.validate(record, schema)
    return record


def summary_blocks(stdout):
    """Each channel's (max, time of max, min, time of min, mean or None) texts
    in a console transcript (bytes), and the data duration's text."""
    text = stdout.decode(errors="surrogateescape")
    pattern = re.compile(r"Channel (\w+) \((.*?)\):\nMax: (\S+) @ (\S+)\nMin: (\S+) @ (\S+)\n(?:Mean: (\S+) )?")
    blocks = {m.group(1): m.groups()[2:] for m in pattern.finditer(text)}
    duration = re.search(r"Data Duration: (\S+)s", text).group(1)
    return blocks, duration


def check_run(record_path, data, stdout, stderr=None):
    """Holds a run's record against everything else the run left, and returns
    it: valid against the schema; its digest the one xxh128sum gives the data
    file; its window count, data duration and every column's statistics those
    of the console summary (bytes), to the printed precision; each vector's
    length the MAT-file's, and the extremes of an _act vector (statistics that
    are elements) its elements exactly; its warnings the "vux_reader: warning:"
    lines of the error stream (bytes), when given. Raises AssertionError."""
    import numpy
    import scipy.io

    def expect(got, wanted, what):
        if got != wanted:
            raise AssertionError(f"{record_path}: {what}: the record gives {got!r}, the run {wanted!r}")

    def printed(value, form):
        return (form % float(value)).replace("-nan", "nan")

    record = load_record(record_path)
    digest = subprocess.run(["xxh128sum", data], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            check=True).stdout.split()[0]  # stderr: its progress line
    expect(record["input"]["xxh128"], digest.decode(), "digest")
    windows = re.findall(rb"Window (\d+)\.\.\.", stdout)
    expect(record["input"]["windows"], int(windows[-1]) if windows else 0, "windows")
    blocks, duration = summary_blocks(stdout)
    columns = record["columns"]
    expect(printed(columns[0]["stats"]["max"] if columns else 0, "%.3f"), duration, "data duration")
    mat = scipy.io.loadmat(os.path.join(os.path.dirname(record_path),
                                        os.path.basename(record["outputs"]["mat_file"])))
    for column in columns:
        stats, variable = column["stats"], column["variable"]
        mean = printed(stats["mean"], "%.3f") if column["sampling_name"] == "once per window" else None
        expect((printed(stats["max"], "%.3f"), printed(stats["time_of_max"], "%.5f"),
                printed(stats["min"], "%.3f"), printed(stats["time_of_min"], "%.5f"), mean),
               tuple(text and text.replace("-nan", "nan") for text in blocks[column["name"]]),
               column["name"])
        vector = mat[variable["name"]].reshape(-1)
        expect(variable["length"], vector.size, variable["name"] + " length")
        if variable["name"].endswith("_act") and vector.size:
            expect((float(stats["max"]), float(stats["min"])),
                   (float(numpy.max(vector)), float(numpy.min(vector))), variable["name"] + " extremes")
    if stderr is not None:
        warnings = [line.decode(errors="surrogateescape") for line in stderr.split(b"\n")
                    if line.startswith(b"vux_reader: warning: ")]
        expect(record["warnings"], warnings, "warnings")
    return record


if __name__ == "__main__":
    # For the shell tests:  vux_e2e.py check-run RECORD DATA STDOUT_FILE STDERR_FILE
    if len(sys.argv) != 6 or sys.argv[1] != "check-run":
        sys.exit("usage: vux_e2e.py check-run RECORD DATA STDOUT_FILE STDERR_FILE")
    with open(sys.argv[4], "rb") as out, open(sys.argv[5], "rb") as err:
        try:
            check_run(sys.argv[2], sys.argv[3], out.read(), err.read())
        except Exception as e:  # a mismatch, an invalid record or a file missing
            sys.exit(f"{type(e).__name__}: {e}")
