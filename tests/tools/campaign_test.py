"""Checks of tools/vux_campaign on generated flights and on a stand-in reader.

Run one group:  /usr/bin/python3 campaign_test.py FlightsTest
Environment: VUX_BINARY (the reader), VUX_GEN (the sample generator),
VUX_SOURCE_DIR (the source tree). Exits 77 (skipped) without GNU parallel or
matplotlib.
"""

import csv
import ctypes
import importlib.machinery
import json
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import types
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import vux_e2e as e2e  # noqa: E402

try:
    import matplotlib  # noqa: F401
    import scipy.io
except ImportError:
    print("SKIP: matplotlib or scipy missing (Debian: python3-matplotlib python3-scipy)")
    sys.exit(77)
if not shutil.which("parallel"):
    print("SKIP: GNU parallel missing (Debian: parallel)")
    sys.exit(77)

CAMPAIGN = os.path.join(e2e.SOURCE_DIR, "tools", "vux_campaign")


def campaign(*args, cwd=None):
    """Runs vux_campaign; names that are not UTF-8 come back as os.fsdecode gives them."""
    done = subprocess.run([CAMPAIGN, "--reader", e2e.BINARY, *args], cwd=cwd, text=True,
                          errors="surrogateescape", stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    return done.returncode, done.stdout, done.stderr


def read_table(outdir):
    with open(os.path.join(outdir, "campaign.csv"), newline="", encoding="utf-8",
              errors="surrogateescape") as f:
        return list(csv.DictReader(f))


def ask_for_record(ws):
    """Writes the default configuration into the workspace (a run without a
    data file) and returns its bytes; then adds RUN_RECORD = 1 to it for the
    single runs there."""
    ws.run("no-data.csv")
    with open(ws.path("vux_reader.cfg"), "rb") as f:
        default = f.read()
    ws.edit_config("THETA_Z = -90", "THETA_Z = -90\nRUN_RECORD = 1")
    return default


def single_run(ws, path, output):
    """The reader's own run of one flight in the workspace, its record checked
    against it; returns its console output (bytes)."""
    done = subprocess.run([e2e.BINARY, path, output], cwd=ws.dir, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    assert done.returncode == 10, done.stdout
    e2e.check_run(ws.path(output[:-len(".mat")] + ".json"), path, done.stdout, done.stderr)
    return done.stdout


def flight_record(outdir, name, path):
    """A flight's record in OUTDIR, checked against the flight's console,
    error stream, MAT-file and input."""
    workdir = os.path.join(outdir, name)
    with open(os.path.join(workdir, "stdout.txt"), "rb") as out, \
            open(os.path.join(workdir, "stderr.txt"), "rb") as err:
        return e2e.check_run(os.path.join(workdir, name + ".json"), path, out.read(), err.read())


STATS = [("max", "max", "%.3f"), ("t_max", "time_of_max", "%.5f"), ("min", "min", "%.3f"),
         ("t_min", "time_of_min", "%.5f"), ("mean", "mean", "%.3f")]


def check_row(test, row, record, console):
    """A reduced flight's table row: the record's values exactly, and those
    of `console` (the flight's single run) to the printed precision."""
    blocks, duration = e2e.summary_blocks(console)
    test.assertEqual((int(row["windows"]), int(row["warnings"]), float(row["wall_s"])),
                     (record["input"]["windows"], len(record["warnings"]), record["wall_seconds"]))
    test.assertEqual(float(row["duration_s"]), record["columns"][0]["stats"]["max"])
    test.assertEqual("%.3f" % float(row["duration_s"]), duration)
    for column in record["columns"]:
        for (stat, key, form), text in zip(STATS, blocks[column["name"]]):
            value = row[f"{column['name']}_{stat}"]
            if text is None:  # no mean for a column read every sample
                test.assertEqual(value, "", column["name"])
            else:
                test.assertEqual(float(value), float(column["stats"][key]), column["name"])
                test.assertEqual(form % float(value), text, column["name"])


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")



def load_campaign():
    """tools/vux_campaign as a module, for its functions on their own."""
    loader = importlib.machinery.SourceFileLoader("vux_campaign", CAMPAIGN)
    module = types.ModuleType(loader.name)
    module.__file__ = CAMPAIGN
    loader.exec_module(module)
    return module

class FlightsTest(unittest.TestCase):
    """Four generated flights and a missing one; then --resume, before and after
    the configuration changes."""

    def setUp(self):
        self.ws = e2e.Workspace()
        self.addCleanup(self.ws.close)

    def test_campaign_table_figures_and_resume(self):
        ws = self.ws
        # The fourth flight's name is not UTF-8, and holds what matplotlib would
        # read as mathematics: names are bytes, as the file system has them.
        latin = os.fsdecode(b"\xe9t\xe9$^$4")
        flights = [ws.generate(f"flight-{i}.csv", duration=2 + i % 2, seed=i) for i in range(1, 4)]
        flights.append(ws.generate(latin + ".csv", duration=2, seed=4))
        # The campaign's CONFIG is the default, which asks for no record.
        config_bytes = ask_for_record(ws)
        config = ws.path("campaign.cfg")
        with open(config, "wb") as f:
            f.write(config_bytes)
        singles = [single_run(ws, path, f"single-{i}.mat") for i, path in enumerate(flights)]
        config_mtime = os.stat(config).st_mtime_ns
        missing = ws.path("missing.csv")
        empty = ws.path("empty.csv")  # the headings line and no row: no window to process
        with open(flights[0], "rb") as f, open(empty, "wb") as out:
            out.write(b"".join(f.readlines()[:7]))
        outdir = ws.path("out")
        os.makedirs(outdir)
        with open(os.path.join(outdir, "campaign.csv"), "w") as f:
            f.write("the table of an earlier call\n")

        status, stdout, stderr = campaign("-c", config, "-o", outdir, "-j", "2", *flights, missing,
                                          empty)
        self.assertEqual(status, 1, stderr)
        self.assertEqual(stderr, "")
        progress = re.findall(r"^\[(\d)/6\] (.+?): status (\d+)", stdout, re.M)
        self.assertEqual(sorted(int(done) for done, _, _ in progress), [1, 2, 3, 4, 5, 6], stdout)
        self.assertIn("4 of 6 flights reduced, 2 failed (missing, empty)", stdout.splitlines()[-1])

        rows = read_table(outdir)
        self.assertEqual([r["flight"] for r in rows],
                         ["flight-1", "flight-2", "flight-3", latin, "missing", "empty"])
        self.assertEqual([r["status"] for r in rows], ["10", "10", "10", "10", "0", "10"])
        self.assertEqual(rows[4]["message"], f"File {missing} does not exist")
        self.assertEqual((rows[5]["message"], rows[5]["windows"], rows[5]["PRES_max"]),
                         ("no window processed", "0", ""))
        for row, path, single in zip(rows, flights, singles):
            check_row(self, row, flight_record(outdir, row["flight"], path), single)
            self.assertEqual((row["message"], row["warnings"]), ("", "0"))
            mb_per_s = os.path.getsize(path) / 1e6 / float(row["wall_s"])
            self.assertAlmostEqual(float(row["mb_per_s"]), mb_per_s, delta=0.001)
        self.assertEqual(flight_record(outdir, "empty", empty)["input"]["windows"], 0)
        with open(os.path.join(outdir, "campaign.json"), "rb") as f:
            document = json.loads(f.read().decode("utf-8"))  # strict UTF-8: bytes are escaped
        self.assertEqual(list(rows[0]), document["fields"])
        for row, entry in zip(rows, document["flights"]):
            for key, text in row.items():
                value = entry[key]
                if value is None or isinstance(value, str):
                    self.assertEqual(value or "", text, key)
                else:
                    self.assertEqual(value, float(text), key)

        with open(config, "rb") as f:
            self.assertEqual(f.read(), config_bytes)
        self.assertEqual(os.stat(config).st_mtime_ns, config_mtime)
        self.assertEqual(sorted(os.listdir(os.path.join(outdir, "flight-1"))),
                         ["flight-1.json", "flight-1.mat", "stamp", "status", "stderr.txt",
                          "stdout.txt", "vux_reader.cfg", "vuxplots.m"])
        for figure in ("campaign-psd.png", "campaign-channels.png"):
            width, height = png_size(os.path.join(outdir, figure))
            self.assertGreater(min(width, height), 500, figure)
            self.assertGreater(os.path.getsize(os.path.join(outdir, figure)), 20000, figure)

        # --resume reduces nothing that is already reduced.
        names = [os.path.splitext(os.path.basename(path))[0] for path in flights]
        mats = [os.path.join(outdir, name, name + ".mat") for name in names]
        before = [os.stat(m).st_mtime_ns for m in mats]
        status, stdout, _ = campaign("-c", config, "-o", outdir, "--resume", *flights, missing)
        self.assertEqual(status, 1)
        self.assertEqual(stdout.count("already reduced"), 4, stdout)
        self.assertEqual([os.stat(m).st_mtime_ns for m in mats], before)
        self.assertEqual(read_table(outdir), rows[:5])

        # ... nor trusts a flight rewritten in place with its size and time kept (touch -r).
        info = os.stat(flights[1])
        with open(flights[1], "r+b") as f:
            data = f.read()
            f.seek(0)
            f.write(data[:-3] + (b"9" if data[-3:-2] != b"9" else b"8") + data[-2:])
        os.utime(flights[1], ns=(info.st_atime_ns, info.st_mtime_ns))
        status, stdout, _ = campaign("-c", config, "-o", outdir, "--resume", "--no-figures",
                                     *flights)
        self.assertEqual(status, 0, stdout)
        self.assertEqual(re.findall(r"\] (\S+): status 10, already reduced", stdout),
                         ["flight-1", "flight-3", latin], stdout)

        # ... and a changed configuration reduces every flight again.
        changed = ws.path("changed.cfg")
        with open(changed, "wb") as f:
            f.write(config_bytes + b"\n% changed\n")
        status, stdout, _ = campaign("-c", changed, "-o", outdir, "--resume", *flights)
        self.assertEqual(status, 0, stdout)
        self.assertNotIn("already reduced", stdout)
        self.assertTrue(all(os.stat(m).st_mtime_ns != t for m, t in zip(mats, before)))


# A stand-in reader: its behaviour follows the flight's file name.
FAKE_READER = r"""#!/bin/sh
case "$(basename "$1")" in
  die*) printf 'Window 1...\r'; kill -TERM $$ ;;
  slow*) echo $$ > pid; exec sleep 60 ;;
  warn*|-warn*) echo 'vux_reader: warning: one' >&2; echo 'vux_reader: warning: two' >&2
         printf 'Window 1...\r\nAnalysis complete, processing time: 0.500s\nData Duration: 2.000s\n'
         exit 10 ;;
  *) printf '\nVUX Data Processor --- OLVA KTR --- Marrowgate Field --- 2015\n\n'
     printf 'Cannot open %s: Permission denied\n' "$1"; exit 255 ;;
esac
"""


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGINT)
        proc.communicate(timeout=60)


class FailuresTest(unittest.TestCase):
    """Failing, killed, refused and interrupted flights are recorded in their rows
    and never stop the others."""

    def setUp(self):
        self.ws = e2e.Workspace()
        self.addCleanup(self.ws.close)
        self.reader = self.ws.path("fake_reader")
        with open(self.reader, "w") as f:
            f.write(FAKE_READER)
        os.chmod(self.reader, 0o755)
        self.config = self.ws.path("my.cfg")
        with open(self.config, "w") as f:
            f.write("%" * 1200 + "\n#ENDCFG\n")
        for name in ("die.csv", "fail.csv", "warn.csv", "-warn.csv", "odd name.csv", "slow-1.csv",
                     "slow-2.csv"):
            open(self.ws.path(name), "w").close()

    def run_campaign(self, *args):
        proc = subprocess.Popen([CAMPAIGN, "--reader", self.reader, "-c", self.config, *args],
                                cwd=self.ws.dir, text=True, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        self.addCleanup(stop, proc)  # before the workspace goes, should a check fail first
        return proc

    def test_each_failure_in_its_row(self):
        with open(self.ws.path("hosts"), "w") as f:
            f.write(":\n")  # GNU parallel's name for this machine, as on a list of machines
        proc = self.run_campaign("-o", "out", "--hosts", "hosts", "--", "die.csv", "fail.csv",
                                 "warn.csv", "odd name.csv", "-warn.csv")
        stdout, stderr = proc.communicate(timeout=300)
        self.assertEqual(proc.returncode, 1, stderr)
        rows = {r["flight"]: r for r in read_table(self.ws.path("out"))}
        cases = [  # flight, status, message (a fragment for the refusal), warnings
            ("die", "143", "interrupted by signal 15", ""),
            ("fail", "255", f"Cannot open {self.ws.path('fail.csv')}: Permission denied", ""),
            # A success without a record fails; warnings come from records alone.
            ("warn", "10", f"no run record {self.ws.path('out/warn/warn.json')}: CONFIG sets "
             "RUN_RECORD to a value other than 1", ""),
            ("odd name", "255", "holds a blank", ""),
            ("-warn", "10", "no run record", ""),  # after "--", a name with a leading dash is a flight
        ]
        for flight, status, message, warnings in cases:
            with self.subTest(flight=flight):
                row = rows[flight]
                self.assertEqual((row["status"], row["warnings"]), (status, warnings))
                self.assertIn(message, row["message"])

    def test_interrupted_campaign(self):
        table = self.ws.path(os.path.join("out", "campaign.csv"))
        os.makedirs(self.ws.path("out"))
        with open(table, "w") as f:
            f.write("the table of an earlier call\n")
        proc = self.run_campaign("-o", "out", "-j", "1", "slow-1.csv", "slow-2.csv")
        pid_file = self.ws.path(os.path.join("out", "slow-1", "pid"))
        deadline = time.monotonic() + 60
        while not os.path.exists(pid_file) and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(0.2)
        with open(pid_file) as f:
            reader_pid = int(f.read())
        # Killed now, the campaign would leave no table: the earlier one is gone.
        self.assertFalse(os.path.exists(table))
        proc.send_signal(signal.SIGINT)
        stdout, stderr = proc.communicate(timeout=60)
        self.assertEqual(proc.returncode, 1, stderr)
        rows = read_table(self.ws.path("out"))
        self.assertEqual([(r["status"], r["message"]) for r in rows],
                         [("130", "interrupted by signal 2"),
                          ("130", "not reduced: the campaign was interrupted by signal 2")])
        with self.assertRaises(ProcessLookupError):  # the reader did not outlive the campaign
            os.kill(reader_pid, 0)

    def test_interrupted_while_drawing(self):
        proc = self.run_campaign("-o", "out", "warn.csv")
        table = self.ws.path(os.path.join("out", "campaign.csv"))
        deadline = time.monotonic() + 60
        while not os.path.exists(table) and time.monotonic() < deadline:
            time.sleep(0.005)
        proc.send_signal(signal.SIGINT)  # the table is written: the figures are being drawn
        stdout, stderr = proc.communicate(timeout=60)
        self.assertEqual(proc.returncode, 1, stderr)
        self.assertEqual(stderr, "vux_campaign: warning: no figures drawn: interrupted by signal 2\n")
        self.assertTrue(stdout.splitlines()[-1].startswith("Campaign: 0 of 1 flights reduced"),
                        stdout)
        self.assertEqual(sorted(os.listdir(self.ws.path("out"))),
                         ["campaign-joblog.txt", "campaign.csv", "campaign.json", "warn"])


class HostsTest(unittest.TestCase):
    """Flights spread over two ssh logins, as over two machines: an OpenSSH
    server started for the test on 127.0.0.1 and 127.0.0.2, reached as
    USER@127.0.0.1 and as USER@127.0.0.2 with a key made for the test (two
    addresses, not a host name: a bare machine may have no /etc/hosts to name
    localhost). Skipped only where the server cannot listen on them."""

    def setUp(self):
        self.ws = e2e.Workspace()
        self.addCleanup(self.ws.close)
        self.assertTrue(os.access("/usr/sbin/sshd", os.X_OK), "no sshd: run tools/install-deps")
        keys = self.ws.path("keys")
        os.mkdir(keys, 0o700)
        for key in ("host", "user"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f",
                            os.path.join(keys, key)], check=True)
        shutil.copy(os.path.join(keys, "user.pub"), os.path.join(keys, "authorized_keys"))
        os.makedirs("/run/sshd", mode=0o755, exist_ok=True)  # its privilege separation directory
        for _ in range(3):  # another program may take the free port first
            port = self.start_sshd(keys)
            if port:
                break
        else:
            self.fail("sshd found no free port in three tries")
        self.ssh_config = os.path.join(keys, "ssh_config")
        with open(self.ssh_config, "w") as f:
            f.write(f"Host *\n Port {port}\n IdentityFile {keys}/user\n IdentitiesOnly yes\n"
                    " UserKnownHostsFile /dev/null\n StrictHostKeyChecking no\n BatchMode yes\n"
                    " AddressFamily inet\n ConnectTimeout 20\n LogLevel ERROR\n")

    def start_sshd(self, keys):
        """Starts sshd on a free port of 127.0.0.1 and 127.0.0.2; returns the
        port, or None when another program took it first."""
        try:
            with socket.socket() as probe:  # a free port; sshd takes it a moment later
                probe.bind(("127.0.0.1", 0))
                port = probe.getsockname()[1]
        except OSError as e:
            raise unittest.SkipTest(f"cannot listen on 127.0.0.1: {e.strerror}")
        config = os.path.join(keys, f"sshd_config.{port}")
        with open(config, "w") as f:
            f.write(f"Port {port}\nListenAddress 127.0.0.1\nListenAddress 127.0.0.2\nHostKey {keys}/host\nPidFile none\n"
                    f"AuthorizedKeysFile {keys}/authorized_keys\nStrictModes no\nUsePAM no\n"
                    "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                    "PermitRootLogin prohibit-password\nPrintMotd no\n")
        log = open(f"{config}.log", "w+")
        self.addCleanup(log.close)
        # In the foreground, so that it is this test's child: stopped below on every
        # exit, and by the kernel should this test die first.
        sshd = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config],
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                preexec_fn=die_with_parent)
        self.addCleanup(sshd.wait)
        self.addCleanup(sshd.terminate)
        deadline = time.monotonic() + 20
        while True:
            with socket.socket() as first, socket.socket() as second:
                refused = first.connect_ex(("127.0.0.1", port)) or second.connect_ex(("127.0.0.2", port))
                if not refused:
                    return port
            log.seek(0)
            text = log.read()
            if sshd.poll() is not None and "Address already in use" in text:
                return None
            if sshd.poll() is not None and re.search(r"Bind to port|Cannot bind", text):
                raise unittest.SkipTest(f"sshd cannot listen on 127.0.0.1 and 127.0.0.2: {text.strip()}")
            self.assertIsNone(sshd.poll(), f"sshd stopped: {text}")
            self.assertLess(time.monotonic(), deadline,
                            f"cannot reach sshd: {os.strerror(refused)}; its log: {text}")
            time.sleep(0.05)

    def test_campaign_over_two_logins(self):
        ws = self.ws
        user = pwd.getpwuid(os.getuid()).pw_name
        logins = [f"ssh -F {self.ssh_config} {user}@127.0.0.1",
                  f"ssh -F {self.ssh_config} {user}@127.0.0.2"]
        with open(ws.path("hosts"), "w") as f:
            f.write("".join(f"1/{login}\n" for login in logins))
        flights = [ws.generate(f"flight-{i}.csv", duration=1 + i % 2, seed=i) for i in range(1, 5)]
        ask_for_record(ws)
        singles = [single_run(ws, path, f"single-{i}.mat") for i, path in enumerate(flights)]
        status, stdout, stderr = campaign("-c", ws.path("vux_reader.cfg"), "-o", ws.path("out"),
                                          "--hosts", ws.path("hosts"), "--no-figures", *flights)
        self.assertEqual(status, 0, stdout + stderr)
        rows = read_table(ws.path("out"))
        self.assertEqual([r["flight"] for r in rows], [f"flight-{i}" for i in range(1, 5)])
        for row, path, single in zip(rows, flights, singles):
            self.assertEqual((row["status"], row["message"]), ("10", ""))
            check_row(self, row, flight_record(ws.path("out"), row["flight"], path), single)
        with open(ws.path("out/campaign-joblog.txt")) as f:
            hosts = sorted({line.split("\t")[1] for line in list(f)[1:]})
        self.assertEqual(hosts, logins)  # both logins ran flights


def die_with_parent():
    """In a child before exec: SIGTERM reaches it when its parent dies."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class AxesTest(unittest.TestCase):
    """The PSD figure's frequency axis comes from each flight's record: a
    hexadecimal WINDOW_SIZE (once read as 0 here, which made the axis the bin
    index) and an odd one (transformed on one point less) place bin k at
    k x SAMPLE_FREQ / N Hz."""

    def test_frequency_axis(self):
        ws = e2e.Workspace()
        self.addCleanup(ws.close)
        flight = ws.generate("flight.csv", duration=1, seed=3)
        default = ask_for_record(ws)
        module = load_campaign()
        cases = [  # WINDOW_SIZE as written, transform points N, warnings (one for an odd size)
            ("0x2710", 10000, 0), ("999", 998, 1)]
        for text, points, warnings in cases:
            with self.subTest(window_size=text):
                config, outdir = ws.path(f"{text}.cfg"), ws.path(f"out-{text}")
                with open(config, "wb") as f:
                    f.write(default.replace(b"WINDOW_SIZE = 10000", f"WINDOW_SIZE = {text}".encode()))
                status, stdout, stderr = campaign("-c", config, "-o", outdir, "--no-figures", flight)
                self.assertEqual(status, 0, stdout + stderr)
                record = flight_record(outdir, "flight", flight)
                self.assertEqual(read_table(outdir)[0]["warnings"], str(warnings))
                row, _ = module.flight_row(os.path.join(outdir, "flight"), "flight")
                spectra, _ = module.psd_curves(outdir, [row])
                rotated = [c["variable"]["name"] for c in record["columns"] if c["rotation"]]
                self.assertEqual(list(spectra), rotated)
                mat = scipy.io.loadmat(os.path.join(outdir, "flight", "flight.mat"))
                for name in rotated:
                    (index, freq, values), = spectra[name]
                    bins = range(1, points // 2)  # 0 Hz has no place on a log axis
                    self.assertEqual(list(freq), [k * (10000 / points) for k in bins], name)
                    self.assertEqual(list(values), list(mat[name][1:, 0]), name)


class HistoryTest(unittest.TestCase):
    """--history: each flight's time history, its largest RMS per window and
    that window's time in the table, and the peak-hold figure; without the
    flag, neither. A companion that is missing or of another run is told."""

    def test_history_columns_and_figure(self):
        ws = e2e.Workspace()
        self.addCleanup(ws.close)
        # A tone from 1 s to 2 s in the first flight: its largest RMS lies in
        # a window there. Windows of 2000 rows (0.2 s).
        burst = ws.path("burst.csv")
        subprocess.run([e2e.GENERATOR, "--duration", "3", "--seed", "5", "--burst", "700,1,2",
                        "-o", burst], check=True)
        flights = [burst, ws.generate("calm.csv", duration=2, seed=6)]
        default = ask_for_record(ws)
        config = ws.path("campaign.cfg")
        with open(config, "wb") as f:
            f.write(default.replace(b"WINDOW_SIZE = 10000", b"WINDOW_SIZE = 2000"))

        plain = ws.path("plain")
        status, stdout, stderr = campaign("-c", config, "-o", plain, *flights)
        self.assertEqual(status, 0, stdout + stderr)
        self.assertFalse([f for f in read_table(plain)[0] if "_rms_" in f])
        self.assertFalse(os.path.exists(os.path.join(plain, "campaign-peak-hold.png")))
        self.assertFalse(os.path.exists(os.path.join(plain, "burst", "burst_history.mat")))

        outdir = ws.path("out")
        status, stdout, stderr = campaign("-c", config, "-o", outdir, "--history", *flights)
        self.assertEqual((status, stderr), (0, ""), stdout)
        rows = read_table(outdir)
        with open(os.path.join(outdir, "campaign.json"), encoding="utf-8") as f:
            document = json.load(f)
        self.assertEqual(list(rows[0]), document["fields"])
        for row, entry, path in zip(rows, document["flights"], flights):
            name = row["flight"]
            record = flight_record(outdir, name, path)
            vectors = [v["name"] for v in record["history"]["vectors"]]
            self.assertEqual(len(vectors), 6)
            history = scipy.io.loadmat(os.path.join(outdir, name, name + "_history.mat"))
            times = history["TIME_S"][:, 0]
            for vector in vectors:
                rms = history[vector + "_rms"][:, 0]
                expected = (float(rms.max()), float(times[rms.argmax()]))
                self.assertEqual((float(row[vector + "_rms_max"]),
                                  float(row[vector + "_rms_t_max"])), expected, (name, vector))
                self.assertEqual((entry[vector + "_rms_max"], entry[vector + "_rms_t_max"]),
                                 expected, (name, vector))
                if name == "burst":
                    self.assertTrue(1 <= expected[1] < 2, (vector, expected))
        self.assertEqual(png_size(os.path.join(outdir, "campaign-peak-hold.png"))[0] > 0, True)

        # The companion read on its own: missing, then another flight's.
        module = load_campaign()
        workdir = os.path.join(outdir, "burst")
        row, _ = module.flight_row(workdir, "burst")
        companion = os.path.join(workdir, "burst_history.mat")
        os.rename(companion, companion + ".away")
        with self.assertRaisesRegex(module.HistoryError, "no time history .*burst_history.mat"):
            module.history_figures(workdir, "burst", row["record"])
        shutil.copy(os.path.join(outdir, "calm", "calm_history.mat"), companion)
        with self.assertRaisesRegex(module.HistoryError, "not the time history of the run"):
            module.history_figures(workdir, "burst", row["record"])


class UsageTest(unittest.TestCase):
    """Usage errors: status 2 and a message naming the problem; nothing runs."""

    def test_usage_errors(self):
        ws = e2e.Workspace()
        self.addCleanup(ws.close)
        with open(ws.path("my.cfg"), "w") as f:
            f.write("%" * 1001)
        with open(ws.path("short.cfg"), "w") as f:
            f.write("%" * 1000)
        os.makedirs(ws.path("a"))
        os.makedirs(ws.path("out/inside"))
        for name in ("f1.csv", "a/f1.csv", "out/inside/inside.csv"):
            open(ws.path(name), "w").close()
        cases = [  # arguments, fragment of the message
            (["-o", "out", "f1.csv"], "-c/--config"),
            (["-c", "my.cfg", "f1.csv"], "-o/--outdir"),
            (["-c", "my.cfg", "-o", "out"], "no flight given"),
            (["-c", "my.cfg", "-o", "out", "-j", "0", "f1.csv"], "'0' is not a whole number"),
            (["-c", "no.cfg", "-o", "out", "f1.csv"], "cannot read CONFIG no.cfg"),
            (["-c", "short.cfg", "-o", "out", "f1.csv"], "has 1000 bytes: vux_reader replaces"),
            (["-c", "my.cfg", "-o", "out", "--list", "no.list"], "cannot read the flight list"),
            (["-c", "my.cfg", "-o", "out", "f1.csv", "a/f1.csv"],
             "flights f1.csv and a/f1.csv share the name f1"),
            (["-c", "my.cfg", "-o", "out", "out/inside/inside.csv"], "lies in its own working"),
            (["-c", "my.cfg", "-o", "out", "--reader", "my.cfg", "f1.csv"], "not an executable"),
        ]
        for args, fragment in cases:
            with self.subTest(args=args):
                status, stdout, stderr = campaign(*args, cwd=ws.dir)
                self.assertEqual(status, 2, stderr)
                self.assertIn(fragment, stderr)
                self.assertEqual(stdout, "")
        self.assertFalse(os.path.exists(ws.path("out/f1")))


if __name__ == "__main__":
    outcome = unittest.main(verbosity=2, exit=False).result
    if outcome.wasSuccessful() and outcome.testsRun and len(outcome.skipped) == outcome.testsRun:
        print(f"SKIP: {outcome.skipped[0][1]}")
        sys.exit(77)  # skipped, for CTest
    sys.exit(0 if outcome.wasSuccessful() else 1)
