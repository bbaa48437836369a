"""End-to-end checks of vux_reader on generated flights, each against something
the tool did not compute itself: a golden console transcript, scipy's Welch
estimate, the default equations evaluated here, the permutation the default
rotation implies, and statistics computed with numpy.

Run one group:  /usr/bin/python3 end_to_end_test.py SpectraTest
Environment: VUX_BINARY (the tool), VUX_GEN (the sample generator),
VUX_SOURCE_DIR (for the golden files; VUX_UPDATE_GOLDEN=1 rewrites them).
"""

import os
import re
import subprocess
import sys
import unittest

import vux_e2e as e2e

try:
    import numpy as np
    import scipy.io
    import scipy.signal
except ImportError:  # pragma: no cover - CI installs them
    print("SKIP: numpy/scipy missing (Debian: python3-numpy python3-scipy)")
    sys.exit(77)

WINDOW = 10000
FS = 10000
FFT_COLUMNS = ["ANGX", "ANGY", "ANGZ", "LINX", "LINY", "LINZ"]
UNROTATED = {  # rotation codes switched off: the spectra are exported as "_pwr"
    "ANGX, 1, 2, 1x0, 1.23": "ANGX, 1, 2, 0, 1.23",
    "ANGY, 1, 2, 1y0, 1.25": "ANGY, 1, 2, 0, 1.25",
    "ANGZ, 1, 2, 1z0, 1.27": "ANGZ, 1, 2, 0, 1.27",
    "LINX, 1, 2, 2x0, 108.4": "LINX, 1, 2, 0, 108.4",
    "LINY, 1, 2, 2y90, 100.4": "LINY, 1, 2, 0, 100.4",
    "LINZ, 1, 2, 2z0, 104.3": "LINZ, 1, 2, 0, 104.3",
}


class Flight:
    """One generated 3-second flight (three full windows), run twice: with the
    default configuration and with rotation switched off."""

    _shared = None

    @classmethod
    def get(cls):
        if cls._shared is None:
            cls._shared = cls()
        return cls._shared

    def __init__(self):
        self.ws = e2e.Workspace()
        self.data = self.ws.generate("flight.csv", duration=3.0, rate=FS, seed=7)
        self.status, self.stdout = self.ws.run("flight.csv", "flight.mat")
        self.mat = scipy.io.loadmat(self.ws.path("flight.mat"))
        self.names = [name for name, _, _ in scipy.io.whosmat(self.ws.path("flight.mat"))]
        for old, new in UNROTATED.items():
            self.ws.edit_config(old, new)
        self.status_unrotated, _ = self.ws.run("flight.csv", "unrotated.mat")
        self.unrotated = scipy.io.loadmat(self.ws.path("unrotated.mat"))
        rows = e2e.read_rows(self.data)
        self.values = np.array([[e2e.parse_number(f) for f in row[:10]] for row in rows])
        self.windows = len(rows) // WINDOW


class TranscriptTest(unittest.TestCase):
    def test_console_transcript_matches_golden(self):
        f = Flight.get()
        self.assertEqual(f.status, 10)
        actual = e2e.mask_timings(f.stdout)
        golden = os.path.join(e2e.SOURCE_DIR, "tests", "e2e", "golden", "default_run.stdout")
        if os.environ.get("VUX_UPDATE_GOLDEN"):
            with open(golden, "wb") as out:
                out.write(actual)
        with open(golden, "rb") as g:
            expected = g.read()
        self.assertEqual(actual.decode(), expected.decode())

    def test_one_vector_per_column_in_order(self):
        f = Flight.get()
        self.assertEqual(f.names, ["TIME_out", "PRES_act", "TEMP_act", "HUMD_act", "ANGX_rot", "ANGY_rot",
                                   "ANGZ_rot", "LINX_rot", "LINY_rot", "LINZ_rot"])
        shapes = {name: f.mat[name].shape for name in f.names}
        self.assertEqual(shapes["TIME_out"], (WINDOW, 1))
        for name in ("PRES_act", "TEMP_act", "HUMD_act"):
            self.assertEqual(shapes[name], (f.windows, 1))
        for c in FFT_COLUMNS:
            self.assertEqual(shapes[c + "_rot"], (WINDOW // 2, 1))
            self.assertEqual(f.mat[c + "_rot"].dtype, np.float64)


class SpectraTest(unittest.TestCase):
    def test_power_spectral_densities_match_welch(self):
        f = Flight.get()
        self.assertEqual(f.status_unrotated, 10)
        w = scipy.signal.get_window("hann", WINDOW)  # periodic: 0.5 * (1 - cos(2 pi k / N))
        gain = WINDOW / np.sum(w * w)
        used = f.values[: f.windows * WINDOW]
        for i, column in enumerate(e2e.COLUMNS):
            if column not in FFT_COLUMNS:
                continue
            x = used[:, i] / e2e.DIVISION_FACTORS[column]
            _, welch = scipy.signal.welch(x, fs=FS, window=w, nperseg=WINDOW, noverlap=0,
                                          detrend="constant", scaling="density", return_onesided=True)
            ours = f.unrotated[column + "_pwr"][:, 0] * gain
            # Only bins 0 .. WINDOW/2 - 1 are exported; the Nyquist bin, which our
            # convention doubles and Welch does not, is not among them.
            reference = welch[: WINDOW // 2]
            peak = np.max(reference)
            np.testing.assert_allclose(ours, reference, rtol=2e-4, atol=1e-6 * peak, err_msg=column)
            # The tones dominate: the strongest bin is well above the noise floor.
            self.assertGreater(peak, 100 * np.median(reference), column)


class NormalisedTest(unittest.TestCase):
    def test_act_vectors_are_the_default_equations_on_each_windows_first_row(self):
        f = Flight.get()
        rows = e2e.read_rows(f.data)
        for w in range(f.windows):
            first = rows[w * WINDOW]
            pres, temp, humd = (e2e.parse_number(first[k]) for k in (1, 2, 3))
            expected = e2e.default_normalised(pres, temp, humd)
            actual = (f.mat["PRES_act"][w, 0], f.mat["TEMP_act"][w, 0], f.mat["HUMD_act"][w, 0])
            self.assertEqual(actual, expected, "window %d" % w)  # bit for bit

    def test_time_out_is_the_last_window_as_read(self):
        f = Flight.get()
        last = f.values[(f.windows - 1) * WINDOW: f.windows * WINDOW, 0]
        self.assertTrue(np.array_equal(f.mat["TIME_out"][:, 0], last))


class RotationTest(unittest.TestCase):
    def test_default_rotation_permutes_each_group(self):
        f = Flight.get()
        # THETA_X -90, THETA_Y 0, THETA_Z -90 (and LINY's own 90 degrees): each
        # rotated axis is another axis's spectrum, up to ~6e-17 of the others.
        permutation = {"ANGX": "ANGY", "ANGY": "ANGZ", "ANGZ": "ANGX",
                       "LINX": "LINZ", "LINY": "LINY", "LINZ": "LINX"}
        for rotated, source in permutation.items():
            ours = f.mat[rotated + "_rot"][:, 0]
            expected = f.unrotated[source + "_pwr"][:, 0]
            scale = np.max(np.abs(expected))
            np.testing.assert_allclose(ours, expected, rtol=1e-12, atol=1e-15 * scale,
                                       err_msg="%s_rot" % rotated)


class SummaryTest(unittest.TestCase):
    def test_extremes_times_and_means_match_numpy(self):
        f = Flight.get()
        blocks, duration = e2e.summary_blocks(f.stdout)
        v = f.values[: f.windows * WINDOW]
        time = v[:, 0]
        self.assertEqual(duration, "%.3f" % np.max(time))

        def extremes(values, stamps):
            # First occurrence wins a tie, as the tool's strict comparisons do.
            hi, lo = int(np.argmax(values)), int(np.argmin(values))
            return values[hi], stamps[hi], values[lo], stamps[lo]

        expected = {"TIME": extremes(time, time) + (None,)}
        for k, column in ((1, "PRES"), (2, "TEMP"), (3, "HUMD")):
            act = f.mat[column + "_act"][:, 0]
            # A once-per-window value comes from its window's first row and
            # is stamped with that row's time.
            stamps = np.array([time[m * WINDOW] for m in range(f.windows)])
            mean = 0.0
            for a in act:
                mean += a
            expected[column] = extremes(act, stamps) + (mean / f.windows,)
        for k, column in enumerate(e2e.COLUMNS):
            if column not in FFT_COLUMNS:
                continue
            prepared = []
            for w in range(f.windows):
                x = v[w * WINDOW:(w + 1) * WINDOW, k]
                mean = 0.0
                for xi in x:
                    mean = xi / WINDOW + mean
                prepared.append((x - mean) / e2e.DIVISION_FACTORS[column])
            expected[column] = extremes(np.concatenate(prepared), time) + (None,)

        for column in e2e.COLUMNS:
            mx, tmx, mn, tmn, mean = expected[column]
            got = blocks[column]
            self.assertEqual(got[:4], ("%.3f" % mx, "%.5f" % tmx, "%.3f" % mn, "%.5f" % tmn), column)
            self.assertEqual(got[4], None if mean is None else "%.3f" % mean, column)


class RecordTest(unittest.TestCase):
    """The run record beside the MAT-file: valid against its schema, and what
    it says equals the console, the MAT-file and the input."""

    def test_record_agrees_with_console_mat_file_and_input(self):
        f = Flight.get()
        ws = e2e.Workspace()
        self.addCleanup(ws.close)
        data = ws.generate("flight.csv", duration=3.0, rate=FS, seed=7)
        ws.run("flight.csv", "plain.mat")
        self.assertFalse(os.path.exists(ws.path("plain.json")))  # the record is asked for
        ws.edit_config("THETA_Z = -90", "THETA_Z = -90\nRUN_RECORD = 1")
        status, stdout = ws.run("flight.csv", "flight.mat")
        self.assertEqual(status, 10)
        mat = scipy.io.loadmat(ws.path("flight.mat"))
        record = e2e.load_record(ws.path("flight.json"))
        blocks, _ = e2e.summary_blocks(stdout)
        digest = subprocess.run(["xxh128sum", data], stdout=subprocess.PIPE, check=True).stdout.split()[0]
        self.assertEqual(record["input"]["xxh128"], digest.decode())
        self.assertEqual(record["input"]["size_bytes"], os.path.getsize(data))
        self.assertEqual(record["input"]["windows"], f.windows)
        self.assertEqual(record["input"]["rows"], len(f.values))
        self.assertEqual(record["settings"]["bin_hz"], FS / WINDOW)
        self.assertEqual(record["outputs"]["record"], "flight.json")
        self.assertEqual(record["warnings"], [])
        for column in record["columns"]:
            name, stats, variable = column["name"], column["stats"], column["variable"]
            got = blocks[name]
            self.assertEqual(got[:4], ("%.3f" % stats["max"], "%.5f" % stats["time_of_max"],
                                       "%.3f" % stats["min"], "%.5f" % stats["time_of_min"]), name)
            if got[4] is not None:
                self.assertEqual(got[4], "%.3f" % stats["mean"], name)
            vector = mat[variable["name"]][:, 0]
            self.assertEqual(len(vector), variable["length"], name)
            if variable["name"].endswith("_act"):
                # Extremes of a per-window vector are its elements, bit for bit.
                self.assertEqual(stats["max"], float(np.max(vector)), name)
                self.assertEqual(stats["min"], float(np.min(vector)), name)
                self.assertEqual(variable["axis"]["kind"], "window")
            if variable["name"].endswith("_rot"):
                self.assertEqual(variable["axis"], {"kind": "frequency", "unit": "Hz", "start": 0, "step": 1})

    def test_any_bytes_of_a_path_come_back(self):
        ws = e2e.Workspace()
        try:
            name = b"fl\xe9ght\xff.csv"  # Latin-1, not UTF-8
            os.rename(ws.generate(duration=1.0), os.path.join(ws.dir.encode(), name))
            ws.run("missing.csv")  # the default configuration, then the record asked for
            ws.edit_config("THETA_Z = -90", "THETA_Z = -90\nRUN_RECORD = 1")
            done = subprocess.run([e2e.BINARY, name, b"o.mat"], cwd=ws.dir, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=600)
            self.assertEqual(done.returncode, 10, done.stdout)
            record = e2e.load_record(ws.path("o.json"))
            self.assertEqual(os.fsencode(record["input"]["path"]), name)
        finally:
            ws.close()


if __name__ == "__main__":
    try:
        unittest.main(verbosity=2)
    finally:
        if Flight._shared is not None:
            Flight._shared.ws.close()
