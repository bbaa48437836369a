"""End-to-end checks of the time history (TIME_HISTORY = 1) on generated
flights, each against something the tool did not compute itself: the burst
vux_gen put into part of a flight, the flight's averages in the MAT-file,
the RMS of the samples computed here in the time domain, band edges computed
here, and scipy's and Octave's readings of the companion MAT-file.

Run:  /usr/bin/python3 history_test.py HistoryTest
Environment: VUX_BINARY, VUX_GEN, VUX_SOURCE_DIR (as end_to_end_test.py).
"""

import json
import os
import shutil
import subprocess
import sys
import unittest

import vux_e2e as e2e

try:
    import numpy as np
    import scipy.io
except ImportError:  # pragma: no cover - CI installs them
    print("SKIP: numpy/scipy missing (Debian: python3-numpy python3-scipy)")
    sys.exit(77)

FS = 10000
WINDOW = 10000
BINS = WINDOW // 2
MEAN_SQUARE = 0.375  # the periodic Hann window's mean square
FFT_COLUMNS = ["ANGX", "ANGY", "ANGZ", "LINX", "LINY", "LINZ"]
UNROTATED = {"1x0,": "0,", "1y0,": "0,", "1z0,": "0,", "2x0,": "0,", "2y90,": "0,", "2z0,": "0,"}
BURST_HZ, BURST_FROM, BURST_TO = 2500, 3, 6  # seconds: windows 3, 4 and 5 of 9
HEADER_TEXT_BYTES = 116  # a MAT-file's header text, which holds its date


def run(ws, output, threads=None):
    """Runs the tool in the workspace on flight.csv; returns (status, stdout, stderr)."""
    env = dict(os.environ)
    env.pop("VUX_THREADS", None)
    if threads is not None:
        env["VUX_THREADS"] = str(threads)
    done = subprocess.run([e2e.BINARY, "flight.csv", output], cwd=ws.dir, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    return done.returncode, done.stdout, done.stderr


def ask_for_history(ws, replacements=()):
    """The default configuration with the time history and the record asked for."""
    ws.edit_config("THETA_Z = -90", "THETA_Z = -90\nTIME_HISTORY = 1\nRUN_RECORD = 1")
    for old, new in replacements:
        ws.edit_config(old, new)


def write_flight(path, vibration):
    """A data file in vux_gen's layout whose six vibration columns (raw units)
    are `vibration` (rows x 6); the slow channels are constant."""
    rows = vibration.shape[0]
    with open(path, "w", newline="") as out:
        out.write("made by history_test.py\r\nData Starts Here,,,,,,,,,,,,,,,,,,,\r\n")
        out.write("Time (s),Pressure (mV),Temp (mV),Humidity (mV),Gyro X,Gyro Y,Gyro Z,Acc X,Acc Y,Acc Z,\r\n")
        for i in range(rows):
            out.write("%.5f,1500.0,-1200.0,-900.0," % (i / FS))
            out.write(",".join("%.6f" % v for v in vibration[i]))
            out.write("\r\n")


def tones(rows, frequencies, seed):
    """Each vibration channel: a sum of sines at the given frequencies with
    random amplitudes and phases (rows x 6)."""
    rng = np.random.default_rng(seed)
    t = np.arange(rows) / FS
    out = np.zeros((rows, 6))
    for ch in range(6):
        for f in frequencies:
            out[:, ch] += rng.uniform(0.5, 5.0) * np.sin(2 * np.pi * f * t + rng.uniform(0, 2 * np.pi))
    return out


def band_plan(bins, fs, n):
    """Centres and the bins of each 1/3-octave band, written out here: edges
    10^((2i -+ 1)/20) within bins 1 .. bins - 1, bin k in (lower, upper]."""
    freq = np.arange(bins) * fs / n
    plan = []
    for i in range(-40, 80):
        lower, upper = 10 ** ((2 * i - 1) / 20), 10 ** ((2 * i + 1) / 20)
        if lower >= freq[1] and upper <= freq[-1]:
            plan.append((10 ** (i / 10), np.nonzero((freq > lower) & (freq <= upper))[0]))
    return plan


def load(path):
    return scipy.io.loadmat(path)


class Runs:
    """The flights, each reduced once and shared by the tests."""

    _shared = None

    @classmethod
    def get(cls):
        if cls._shared is None:
            cls._shared = cls()
        return cls._shared

    def __init__(self):
        # A 9-second flight with a 2500 Hz burst from 3 to 6 s: default
        # configuration, without and with the history, on one and all cores.
        self.burst = e2e.Workspace()
        ws = self.burst
        subprocess.run([e2e.GENERATOR, "--duration", "9", "--seed", "7", "--burst",
                        "%d,%d,%d,0.5" % (BURST_HZ, BURST_FROM, BURST_TO), "-o", ws.path("flight.csv")], check=True)
        for d in ("off", "on", "one"):
            os.mkdir(ws.path(d))
        ws.run("flight.csv", "off/flight.mat")  # writes the default configuration
        ws.edit_config("THETA_Z = -90", "THETA_Z = -90\nRUN_RECORD = 1")
        self.off = run(ws, "off/flight.mat")
        ws.edit_config("RUN_RECORD = 1", "RUN_RECORD = 1\nTIME_HISTORY = 1")
        self.on = run(ws, "on/flight.mat")
        self.one = run(ws, "one/flight.mat", threads=1)
        self.history = load(ws.path("on/flight_history.mat"))
        self.mat = load(ws.path("on/flight.mat"))

        # Four identical windows of tones and a fixed noise: a stationary signal.
        self.steady = e2e.Workspace()
        window = tones(WINDOW, [50, 120, 777, 1500], seed=3)
        window += np.random.default_rng(4).normal(0.0, 0.2, window.shape)
        write_flight(self.steady.path("flight.csv"), np.tile(window, (4, 1)))
        self.steady.run("flight.csv", "x.mat")
        ask_for_history(self.steady)
        self.steady_status = run(self.steady, "flight.mat")[0]

        # Four and a half windows of band-limited tones whose level changes
        # from window to window, rotation off: the time-domain RMS.
        self.limited = e2e.Workspace()
        signal = tones(45000, [31, 200, 640, 1000, 2222, 3100], seed=5)
        signal *= (1.0 + 0.5 * (np.arange(45000) // WINDOW))[:, None]
        write_flight(self.limited.path("flight.csv"), signal)
        self.limited_raw = signal
        self.limited.run("flight.csv", "x.mat")
        ask_for_history(self.limited, UNROTATED.items())
        self.limited_status = run(self.limited, "flight.mat")[0]

        # An odd WINDOW_SIZE over whole windows: 999 rows, 998-point transforms.
        self.odd = e2e.Workspace()
        subprocess.run([e2e.GENERATOR, "--duration", "2.997", "--seed", "9", "-o", self.odd.path("flight.csv")],
                       check=True)
        self.odd.run("flight.csv", "x.mat")
        ask_for_history(self.odd, [("WINDOW_SIZE = 10000", "WINDOW_SIZE = 999")])
        self.odd_status = run(self.odd, "flight.mat")[0]

    def close(self):
        for ws in (self.burst, self.steady, self.limited, self.odd):
            ws.close()


def vectors(history):
    return [name[:-2] for name in history if name.endswith("_t")]


class HistoryTest(unittest.TestCase):
    def test_burst_shows_only_in_its_windows_at_its_bin(self):
        r = Runs.get()
        self.assertEqual(r.on[0], 10, r.on[1])
        inside = [3, 4, 5]
        outside = [0, 1, 2, 6, 7, 8]
        for v in vectors(r.history):
            psd = r.history[v + "_t"]
            self.assertEqual(psd.shape, (BINS, 9))
            self.assertGreater(np.min(psd[BURST_HZ, inside]), 1000 * np.max(psd[BURST_HZ, outside]), v)
            # Within its windows the burst is the strongest line above the engine's.
            for j in inside:
                self.assertEqual(1500 + int(np.argmax(psd[1500:, j])), BURST_HZ, v)
        np.testing.assert_array_equal(r.history["TIME_S"][:, 0], np.arange(9.0))
        np.testing.assert_array_equal(r.history["FREQ_HZ"][:, 0], np.arange(BINS) * FS / WINDOW)

    def test_mean_of_the_windows_is_the_average_and_peak_hold_tops_it(self):
        r = Runs.get()
        for v in vectors(r.history):
            average = r.mat[v][:, 0]
            np.testing.assert_allclose(np.mean(r.history[v + "_t"].astype(np.float64), axis=1), average,
                                       rtol=1e-6, err_msg=v)
            peak = r.history[v + "_max"][:, 0]
            self.assertTrue(np.all(peak >= average * (1 - 1e-12)), v)
            np.testing.assert_allclose(peak, np.max(r.history[v + "_t"], axis=1), rtol=1e-7, err_msg=v)

    def test_peak_hold_equals_the_average_of_a_stationary_signal(self):
        r = Runs.get()
        self.assertEqual(r.steady_status, 10)
        history, mat = load(r.steady.path("flight_history.mat")), load(r.steady.path("flight.mat"))
        for v in vectors(history):
            np.testing.assert_allclose(history[v + "_max"][:, 0], mat[v][:, 0], rtol=1e-12, err_msg=v)

    def test_rms_per_window_is_the_time_domain_rms(self):
        r = Runs.get()
        self.assertEqual(r.limited_status, 10)
        history = load(r.limited.path("flight_history.mat"))
        hann = 0.5 * (1 - np.cos(2 * np.pi * np.arange(WINDOW) / WINDOW))
        for ch, column in enumerate(FFT_COLUMNS):
            v = column + "_pwr"
            rms = history[v + "_rms"][:, 0]
            self.assertEqual(len(rms), 4)  # the half window is in no matrix
            for j in range(4):
                x = r.limited_raw[j * WINDOW:(j + 1) * WINDOW, ch] / e2e.DIVISION_FACTORS[column]
                prepared = (x - np.mean(x)) * hann
                expected = np.sqrt(np.mean(prepared ** 2) / np.mean(hann ** 2))
                self.assertAlmostEqual(rms[j] / expected, 1.0, delta=1e-4, msg="%s window %d" % (v, j))

    def test_band_levels_sum_to_the_mean_square_of_their_bins(self):
        r = Runs.get()
        history = load(r.limited.path("flight_history.mat"))
        plan = band_plan(BINS, FS, WINDOW)
        np.testing.assert_allclose(history["OCT_HZ"][:, 0], [centre for centre, _ in plan], rtol=1e-15)
        covered = np.concatenate([bins for _, bins in plan])
        for v in vectors(history):
            psd = history[v + "_t"].astype(np.float64)
            bands = history[v + "_oct"]
            self.assertEqual(bands.shape, (len(plan), 4))
            for j in range(4):
                for b, (_, bins) in enumerate(plan):
                    expected = np.sqrt(np.sum(psd[bins, j]) * (FS / WINDOW) / MEAN_SQUARE)
                    self.assertAlmostEqual(bands[b, j], expected, delta=1e-6 * expected + 1e-30)
                total = np.sum(psd[covered, j]) * (FS / WINDOW) / MEAN_SQUARE
                self.assertAlmostEqual(np.sum(bands[:, j] ** 2) / total, 1.0, delta=1e-6)

    def test_odd_window_size_has_its_true_bin_spacing(self):
        r = Runs.get()
        self.assertEqual(r.odd_status, 10)
        history, mat = load(r.odd.path("flight_history.mat")), load(r.odd.path("flight.mat"))
        np.testing.assert_array_equal(history["FREQ_HZ"][:, 0], np.arange(499) * FS / 998)
        self.assertEqual(history["TIME_S"].shape, (30, 1))
        for v in vectors(history):
            self.assertEqual(history[v + "_t"].shape, (499, 30))
            np.testing.assert_allclose(np.mean(history[v + "_t"].astype(np.float64), axis=1), mat[v][:, 0],
                                       rtol=1e-6, err_msg=v)

    def test_one_thread_and_all_cores_write_the_same_history(self):
        r = Runs.get()
        self.assertEqual(r.one[0], 10)
        for name, header in (("flight_history.mat", HEADER_TEXT_BYTES), ("vuxhistory.m", 0)):
            with open(r.burst.path("on/" + name), "rb") as a, open(r.burst.path("one/" + name), "rb") as b:
                self.assertEqual(a.read()[header:], b.read()[header:], name)

    def test_the_option_changes_nothing_else(self):
        r = Runs.get()
        ws = r.burst
        self.assertEqual(sorted(os.listdir(ws.path("off"))), ["flight.json", "flight.mat", "vuxplots.m"])
        self.assertEqual(sorted(os.listdir(ws.path("on"))),
                         ["flight.json", "flight.mat", "flight_history.mat", "vuxhistory.m", "vuxplots.m"])
        for name, header in (("flight.mat", HEADER_TEXT_BYTES), ("vuxplots.m", 0)):
            with open(ws.path("off/" + name), "rb") as a, open(ws.path("on/" + name), "rb") as b:
                self.assertEqual(a.read()[header:], b.read()[header:], name)
        self.assertEqual(e2e.mask_timings(r.off[1]).replace(b"off/", b"on/"), e2e.mask_timings(r.on[1]))
        self.assertEqual(r.off[2], r.on[2])
        off = e2e.load_record(ws.path("off/flight.json"))
        on = e2e.load_record(ws.path("on/flight.json"))
        self.assertNotIn("history", off)
        for record in (off, on):
            for key in ("started_utc", "wall_seconds", "outputs"):
                record.pop(key)
        on.pop("history")
        self.assertEqual(json.dumps(off["settings"]).replace("0.0", "0"),  # TIME_HISTORY is a constant too
                         json.dumps({**on["settings"], "constants": [c for c in on["settings"]["constants"]
                                                                     if c["name"] != "TIME_HISTORY"]}))
        off.pop("settings"), on.pop("settings")
        self.assertEqual(off, on)

    def test_record_names_every_variable_its_shape_and_axes(self):
        r = Runs.get()
        record = e2e.load_record(r.burst.path("on/flight.json"))["history"]
        self.assertEqual(record["mat_file"], "on/flight_history.mat")
        self.assertEqual(record["plot_script"], "on/vuxhistory.m")
        self.assertEqual((record["full_windows"], record["last_window_left_out"]), (9, False))
        self.assertEqual((record["bins"], record["bin_hz"]), (BINS, 1))
        self.assertAlmostEqual(record["window_mean_square"], MEAN_SQUARE, delta=1e-14)
        self.assertEqual([v["name"] for v in record["vectors"]], [c + "_rot" for c in FFT_COLUMNS])
        listed = scipy.io.whosmat(r.burst.path("on/flight_history.mat"))
        self.assertEqual([(v["name"], (v["rows"], v["cols"]), v["class"]) for v in record["variables"]], listed)
        axes = {v["name"]: (v["row_axis"]["values"], v["col_axis"]["values"]) for v in record["variables"]}
        self.assertEqual(axes["ANGX_rot_t"], ("FREQ_HZ", "TIME_S"))
        self.assertEqual(axes["ANGX_rot_oct"], ("OCT_HZ", "TIME_S"))
        self.assertEqual(axes["ANGX_rot_rms"], ("TIME_S", None))
        self.assertEqual(axes["ANGX_rot_max"], ("FREQ_HZ", None))
        limited = e2e.load_record(r.limited.path("flight.json"))["history"]
        self.assertEqual((limited["full_windows"], limited["last_window_left_out"]), (4, True))

    def test_octave_loads_the_companion_and_draws_vuxhistory(self):
        if shutil.which("octave-cli") is None:
            self.skipTest("octave-cli is not installed (Debian package octave)")
        r = Runs.get()
        listing = subprocess.run(
            ["octave-cli", "--no-gui", "--norc", "--no-history", "--quiet", "--eval",
             "h = load('flight_history.mat'); n = fieldnames(h);"
             "for i = 1:numel(n), v = h.(n{i}); printf('%s %d %d %s %.17g\\n', n{i}, rows(v), columns(v),"
             " class(v), sum(double(v(:)))); end"],
            cwd=r.burst.path("on"), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        self.assertEqual(listing.returncode, 0, listing.stdout)
        lines = listing.stdout.decode().split("\n")
        for name, value in r.history.items():
            if name.startswith("__"):
                continue
            cls = "single" if value.dtype == np.float32 else "double"
            total = float(np.sum(value.astype(np.float64)))
            line = next((l for l in lines if l.startswith(name + " ")), "")
            fields = line.split()
            self.assertEqual(fields[:4], [name, str(value.shape[0]), str(value.shape[1]), cls], line)
            self.assertAlmostEqual(float(fields[4]), total, delta=1e-9 * abs(total), msg=name)

        toolkits = subprocess.run(["octave-cli", "--no-gui", "--norc", "--quiet", "--eval",
                                   "exit(~any(strcmp(available_graphics_toolkits(), 'gnuplot')))"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        if toolkits.returncode != 0:
            self.skipTest("Octave has no gnuplot toolkit to draw headless figures (Debian package gnuplot-nox)")
        if not os.access("/usr/share/fonts/opentype/freefont/FreeSans.otf", os.R_OK):
            self.skipTest("Octave's default font is missing (Debian package fonts-freefont-otf)")
        draw = r.burst.path("draw")
        shutil.copytree(r.burst.path("on"), draw)
        drawn = subprocess.run(
            ["octave-cli", "--no-gui", "--norc", "--no-history", "--quiet", "--eval",
             "graphics_toolkit('gnuplot'); set(0, 'defaultfigurevisible', 'off'); vuxhistory();"
             "figures = sort(get(0, 'children'));"
             "for i = 1:numel(figures), print(figures(i), sprintf('history%d.png', i), '-dpng'); end;"
             "printf('figures %d\\n', numel(figures));"],
            cwd=draw, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        self.assertEqual(drawn.returncode, 0, drawn.stdout[-3000:])
        # Two groups: two spectrograms, two peak-hold figures, the RMS figure.
        self.assertIn(b"figures 5\n", drawn.stdout)
        for i in range(1, 6):
            with open(os.path.join(draw, "history%d.png" % i), "rb") as png:
                self.assertEqual(png.read(4), b"\x89PNG")


if __name__ == "__main__":
    try:
        unittest.main(verbosity=2)
    finally:
        if Runs._shared is not None:
            Runs._shared.close()
