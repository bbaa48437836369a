#!/usr/bin/env bash
# tools/render-plots on real runs: a generated three-second flight reduced by
# vux_reader with windows of 1000 samples and its run record, then drawn
# headless by Octave on the record's physical axes and, with --as-script, by
# the run's own vuxplots.m. Every run's record is held against its console,
# MAT-file and input by tests/e2e/vux_e2e.py check-run.
#
#   render_plots_test.sh RENDER_PLOTS VUX_READER VUX_GEN PYTHON
#
# Exit status 0 = pass, 1 = fail, 77 = skipped (Octave, its headless
# plotting or Ghostscript is not installed).
set -uo pipefail
# As on a bare machine, whose root shell has no locale: a warning that shows
# only there then breaks the exact output checks below.
export LC_ALL=C
unset LANG LANGUAGE

render=$1
reader=$2
gen=$3
python=$4
checker=$(dirname "$0")/../e2e/vux_e2e.py

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Width and height of a PNG, from its IHDR chunk.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}

# Octave missing: a clear message and status 2, whether or not Octave is
# installed here (the search path holds only what the script needs).
mkdir "$work/bin"
for tool in dirname basename rm sed; do
    ln -s "$(command -v "$tool")" "$work/bin/$tool"
done
touch "$work/lonely.mat" "$work/vuxplots.m"
output=$(PATH=$work/bin /bin/bash "$render" "$work/lonely.mat" 2>&1)
status=$?
[[ $status -eq 2 ]] || fail "without Octave: status $status, expected 2"
[[ $output == *"octave-cli"*"install-deps"* ]] || fail "without Octave: unclear message: $output"

# Usage errors need no Octave either.
bash "$render" >/dev/null 2>&1
[[ $? -eq 2 ]] || fail "no argument: expected status 2"
bash "$render" --size 12 "$work/lonely.mat" >/dev/null 2>&1
[[ $? -eq 2 ]] || fail "bad --size: expected status 2"

if ! command -v octave-cli >/dev/null; then
    echo "SKIP: octave-cli is not installed (Debian package octave)"
    exit 77
fi
if [[ $failures -gt 0 ]]; then
    exit 1
fi
if ! command -v gs >/dev/null; then
    echo "SKIP: Ghostscript is not installed (Debian package ghostscript); Octave prints PNGs through it"
    exit 77
fi
if ! octave-cli --no-gui --norc --no-history --quiet \
        --eval 'exit(~any(strcmp(available_graphics_toolkits(), "gnuplot")))' >/dev/null 2>&1; then
    echo "SKIP: Octave has no gnuplot toolkit (Debian package gnuplot-nox)"
    exit 77
fi

# A real run: its MAT-file and script in a subdirectory. Its configuration
# (the default, which a run without a data file writes) asks for the run
# record, sets WINDOW_SIZE twice, the later value with a blank and a half to
# round (1000 samples, 10 Hz bins at 10 kHz), and plots TIME, whose figure
# then shows the last window's time stamps.
mkdir "$work/run" "$work/run/results"
"$gen" --duration 3 --seed 7 -o "$work/run/flight.csv" || { echo "FAIL: vux_gen"; exit 1; }
(cd "$work/run" && "$reader" no-data.csv x.mat >/dev/null)
sed -i -e 's/^WINDOW_SIZE = 10000.*/&\nWINDOW_SIZE = 99 9.5  % the later line counts/' \
    -e 's/^TIME, 0, 0, 0, 0/TIME, plot, 0, 0, 0/' -e 's/^THETA_Z = -90$/&\nRUN_RECORD = 1/' \
    "$work/run/vux_reader.cfg"
# Refusals: status 2 and a message naming the cause.
check_refusal() {
    local output status
    output=$(bash "$render" "$1" 2>&1)
    status=$?
    [[ $status -eq 2 && $output == *"$2"* ]] || fail "$3: status $status, output: $output"
}
# Runs vux_reader in DIR on flight.csv into OUTPUT and checks its record.
reduce() {
    (cd "$1" && "$reader" flight.csv "$2" >reader.out 2>reader.err)
    local status=$?
    [[ $status -eq 10 ]] || { echo "FAIL: vux_reader exited with $status"; cat "$1/reader.out"; exit 1; }
    "$python" "$checker" check-run "$1/${2%.mat}.json" "$1/flight.csv" "$1/reader.out" "$1/reader.err" ||
        fail "the record of $1/$2 does not match the run"
}
reduce "$work/run" results/flight.mat
results=$work/run/results
figures=$(grep -c '^figure' "$results/vuxplots.m")
[[ $figures -eq 4 ]] || fail "expected 4 figures in vuxplots.m, found $figures"

# A stale figure from an earlier rendering must not survive.
echo stale >"$results/flight-figure-9.png"

# Physical axes: bin 1 (bin 0 is left out of the log axis) and the last bin
# at 10 Hz spacing, window starts 0.1 s apart, the last window's time stamps:
# the run's, though its vux_reader.cfg now says twice the SAMPLE_FREQ.
sed -i 's/^SAMPLE_FREQ = 10000/SAMPLE_FREQ = 20000/' "$work/run/vux_reader.cfg"
output=$(cd "$work" && bash "$render" --size 400x300 run/results/flight.mat 2>&1)
status=$?
[[ $status -eq 0 ]] || fail "render-plots exited with $status: $output"
[[ -e $results/flight-figure-9.png ]] && fail "stale flight-figure-9.png left beside the new figures"
[[ $(grep -c . <<<"$output") -eq $figures ]] || fail "expected one line per figure of vuxplots.m: $output"
for expected in \
    "flight-figure-1.png: ANGX_rot, ANGY_rot, ANGZ_rot: frequency 10 to 4990 Hz" \
    "flight-figure-2.png: LINX_rot, LINY_rot, LINZ_rot: frequency 10 to 4990 Hz" \
    "flight-figure-3.png: PRES_act, TEMP_act, HUMD_act: time 0 to 2.9 s" \
    "flight-figure-4.png: TIME_out: time 2.9 to 2.9999 s"; do
    grep -qxF "$results/$expected" <<<"$output" || fail "expected the line '$expected' in: $output"
done
for ((i = 1; i <= figures; i++)); do
    png=$results/flight-figure-$i.png
    if [[ ! -f $png ]]; then
        fail "figure $i missing ($png)"
        continue
    fi
    [[ $(head -c 4 "$png" | od -An -c | tr -d ' ') == '211PNG' ]] || fail "figure $i is not a PNG"
    [[ $(png_size "$png") == 400x300 ]] || fail "figure $i is $(png_size "$png"), expected 400x300"
done
[[ -e $results/flight-figure-$((figures + 1)).png ]] && fail "more PNGs than figures in vuxplots.m"

sed -i 's/^SAMPLE_FREQ = 20000/SAMPLE_FREQ = 10000/' "$work/run/vux_reader.cfg"

# Runs of other configurations (the first ROWS lines of the flight): an odd
# WINDOW_SIZE is transformed on one point less, so at 7 the bins lie
# SAMPLE_FREQ / 6 apart, and at 3 a PSD holds its 0 Hz bin alone, which a
# logarithmic axis cannot show; a first column read once per window holds no
# time stamps, so an every-sample column's last window lies at sample index
# / SAMPLE_FREQ.
while IFS='|' read -r name rows edits expected; do
    mkdir "$work/$name"
    head -n "$rows" "$work/run/flight.csv" >"$work/$name/flight.csv"
    sed "$edits" "$work/run/vux_reader.cfg" >"$work/$name/vux_reader.cfg"
    reduce "$work/$name" "$name.mat"
    output=$(bash "$render" --size 400x300 "$work/$name/$name.mat" 2>&1)
    grep -qxF "$work/$name/$name-figure-$expected" <<<"$output" ||
        fail "$name: expected '$expected' in: $output"
done <<'CASES'
odd7|200|s/^WINDOW_SIZE = .*/WINDOW_SIZE = 7/|1.png: ANGX_rot, ANGY_rot, ANGZ_rot: frequency 1666.67 to 3333.33 Hz
odd3|200|s/^WINDOW_SIZE = .*/WINDOW_SIZE = 3/|1.png: ANGX_rot, ANGY_rot, ANGZ_rot: frequency 0 Hz only, left out of the logarithmic axis
notime|100000|s/^TIME, 1,/TIME, 0,/; s/^PRES, 0, 1, 0, .*/PRES, 1, 0, 0, 0/|4.png: PRES_out: time in the last window 0 to 0.0999 s
CASES

# A run without a time history draws exactly the figures of vuxplots.m.
shopt -s nullglob
extra=("$work"/*/*_history-figure-*.png "$results"/*_history-figure-*.png)
shopt -u nullglob
[[ ${#extra[@]} -eq 0 ]] || fail "history figures of runs without a time history: ${extra[*]}"

# The time history (TIME_HISTORY = 1) of the same flight, 30 full windows of
# 0.1 s: after the four figures of vuxplots.m, a spectrogram, a peak hold and
# the RMS per window of each rotation group, nothing on the error stream.
# With one full window (the first 1600 rows) no spectrogram, said on stderr;
# with no companion (moved away) a note and only the figures of vuxplots.m;
# with the companion of the one-window run in its place, a refusal.
mkdir "$work/hist" "$work/hist1"
cp "$work/run/flight.csv" "$work/hist/"
head -n 1600 "$work/run/flight.csv" >"$work/hist1/flight.csv"
for dir in hist hist1; do
    sed 's/^RUN_RECORD = 1$/&\nTIME_HISTORY = 1/' "$work/run/vux_reader.cfg" >"$work/$dir/vux_reader.cfg"
    reduce "$work/$dir" "$dir.mat"
done
output=$(bash "$render" --size 400x300 "$work/hist/hist.mat" 2>&1)
status=$?
expected=$(printf "$work/hist/%s\n" \
    "hist-figure-1.png: ANGX_rot, ANGY_rot, ANGZ_rot: frequency 10 to 4990 Hz" \
    "hist-figure-2.png: LINX_rot, LINY_rot, LINZ_rot: frequency 10 to 4990 Hz" \
    "hist-figure-3.png: PRES_act, TEMP_act, HUMD_act: time 0 to 2.9 s" \
    "hist-figure-4.png: TIME_out: time 2.9 to 2.9999 s" \
    "hist_history-figure-1.png: ANGX_rot, ANGY_rot, ANGZ_rot: spectrogram, time 0 to 3 s, frequency 10 to 4990 Hz" \
    "hist_history-figure-2.png: LINX_rot, LINY_rot, LINZ_rot: spectrogram, time 0 to 3 s, frequency 10 to 4990 Hz" \
    "hist_history-figure-3.png: ANGX_rot, ANGY_rot, ANGZ_rot: peak hold, frequency 10 to 4990 Hz" \
    "hist_history-figure-4.png: LINX_rot, LINY_rot, LINZ_rot: peak hold, frequency 10 to 4990 Hz" \
    "hist_history-figure-5.png: ANGX_rot, ANGY_rot, ANGZ_rot: RMS per window, time 0 to 2.9 s" \
    "hist_history-figure-6.png: LINX_rot, LINY_rot, LINZ_rot: RMS per window, time 0 to 2.9 s")
[[ $status -eq 0 && $output == "$expected" ]] || fail "time history: status $status, output: $output"
for ((i = 1; i <= 6; i++)); do
    [[ $(png_size "$work/hist/hist_history-figure-$i.png") == 400x300 ]] || fail "history figure $i is no 400x300 PNG"
done
output=$(bash "$render" --size 400x300 "$work/hist1/hist1.mat" 2>&1)
status=$?
[[ $status -eq 0 && $output == *"hist1_history.mat holds 1 full window(s): no spectrogram drawn"* &&
    $output == *"hist1_history-figure-4.png: LINX_rot, LINY_rot, LINZ_rot: RMS per window, time 0 to 0 s"* ]] ||
    fail "one full window: status $status, output: $output"
[[ -e $work/hist1/hist1_history-figure-5.png ]] && fail "one full window: a spectrogram drawn"
mv "$work/hist/hist_history.mat" "$work/hist/hist_history.mat.away"
output=$(bash "$render" --size 400x300 "$work/hist/hist.mat" 2>&1)
status=$?
[[ $status -eq 0 && $output == *"the run record $work/hist/hist.json names the time history $work/hist/hist_history.mat, which is not there"* ]] ||
    fail "missing companion: status $status, output: $output"
[[ -e $work/hist/hist-figure-4.png && ! -e $work/hist/hist_history-figure-1.png ]] ||
    fail "missing companion: the figures of vuxplots.m only, and no earlier history figure, expected"
cp "$work/hist1/hist1_history.mat" "$work/hist/hist_history.mat"
check_refusal "$work/hist/hist.mat" "TIME_S in $work/hist/hist_history.mat is 1x1, but the run record $work/hist/hist.json gives it 30x1" \
    "companion of another run"

# The run's own script, on index axes: the same figures, one path per line.
rm -f "$results"/flight-figure-*.png
output=$(bash "$render" --as-script --size 400x300 "$results/flight.mat" 2>&1)
status=$?
expected=$(for ((i = 1; i <= figures; i++)); do echo "$results/flight-figure-$i.png"; done)
[[ $status -eq 0 && $output == "$expected" ]] || fail "--as-script: status $status, output: $output"
[[ -f $results/flight-figure-$figures.png ]] || fail "--as-script: figure $figures missing"

# A later run into the same directory rewrites vuxplots.m for its own
# MAT-file: the first one is refused in both modes, naming both files.
reduce "$work/run" results/other.mat
for mode in --size=400x300 --as-script; do
    output=$(bash "$render" "$mode" "$results/flight.mat" 2>&1)
    status=$?
    [[ $status -eq 2 && $output == *"loads $results/other.mat, not $results/flight.mat"* ]] ||
        fail "script of another MAT-file ($mode): status $status, output: $output"
done

# Records that cannot place the vectors are refused (status 2, a message
# naming the cause): none beside the MAT-file; one that a run writing
# results/flight (no .mat) left in flight.json; one of an earlier MAT-file
# (another run's MAT-file in its place: the record's fingerprint differs).
mv "$results/flight.json" "$results/flight.json.away"
check_refusal "$results/flight.mat" \
    "no run record beside $results/flight.mat (looked for $results/flight.json); a run writes it when its vux_reader.cfg has the line RUN_RECORD = 1" \
    "MAT-file without its record"
reduce "$work/run" results/flight
check_refusal "$results/flight.mat" "$results/flight.json is the run record of results/flight, not of $results/flight.mat" \
    "record of another MAT-file"
cp "$work/odd3/odd3.mat" "$work/odd7/odd7.mat"
check_refusal "$work/odd7/odd7.mat" "$work/odd7/odd7.json is the run record of an earlier $work/odd7/odd7.mat" \
    "record of another run"

# Missing script: named in the message, status 2.
mv "$results/vuxplots.m" "$results/vuxplots.m.away"
output=$(bash "$render" "$results/other.mat" 2>&1)
status=$?
[[ $status -eq 2 && $output == *"no vuxplots.m"* ]] || fail "missing vuxplots.m: status $status, output: $output"

# A script that fails inside Octave: status 1 and Octave's reason. Drawn on
# physical axes, the line vux_reader never writes is refused before Octave
# draws anything.
printf 'function vuxplots()\n\nload other.mat\nfigure;\nplot(NO_SUCH_VECTOR);\n' >"$results/vuxplots.m"
output=$(bash "$render" --as-script "$results/other.mat" 2>&1)
status=$?
[[ $status -eq 1 && $output == *"NO_SUCH_VECTOR"* ]] || fail "failing script: status $status, output: $output"
check_refusal "$results/other.mat" \
    "line 5 of $results/vuxplots.m is not one vux_reader writes: plot(NO_SUCH_VECTOR);" "unknown line"

[[ $failures -eq 0 ]] || exit 1
echo "render-plots: $figures figures checked"
