#!/usr/bin/env bash
# tools/render-plots on a real run: a generated three-second flight reduced by
# vux_reader with windows of 1000 samples, then drawn headless by Octave on
# physical axes and, with --as-script, by the run's own vuxplots.m.
#
#   render_plots_test.sh RENDER_PLOTS VUX_READER VUX_GEN
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
bash "$render" --as-script --config "$work/lonely.mat" "$work/lonely.mat" >/dev/null 2>&1
[[ $? -eq 2 ]] || fail "--as-script with --config: expected status 2"

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
# sets WINDOW_SIZE twice, the later value with a blank and a half to round
# (1000 samples, 10 Hz bins at 10 kHz), and plots TIME, whose figure then
# shows the last window's time stamps.
mkdir "$work/run" "$work/run/results"
"$gen" --duration 3 --seed 7 -o "$work/run/flight.csv" || { echo "FAIL: vux_gen"; exit 1; }
reduce() {
    (cd "$work/run" && "$reader" flight.csv "results/$1" >reader.log)
    local status=$?
    [[ $status -eq 10 ]] || { echo "FAIL: vux_reader exited with $status"; cat "$work/run/reader.log"; exit 1; }
}
reduce flight.mat
sed -i -e 's/^WINDOW_SIZE = 10000.*/&\nWINDOW_SIZE = 99 9.5  % the later line counts/' \
    -e 's/^TIME, 0, 0, 0, 0/TIME, plot, 0, 0, 0/' "$work/run/vux_reader.cfg"
reduce flight.mat
results=$work/run/results
figures=$(grep -c '^figure' "$results/vuxplots.m")
[[ $figures -eq 4 ]] || fail "expected 4 figures in vuxplots.m, found $figures"

# A stale figure from an earlier rendering must not survive.
echo stale >"$results/flight-figure-9.png"

# Physical axes: bin 1 (bin 0 is left out of the log axis) and the last bin
# at 10 Hz spacing, window starts 0.1 s apart, the last window's time stamps.
output=$(cd "$work" && bash "$render" --config run/vux_reader.cfg --size 400x300 run/results/flight.mat 2>&1)
status=$?
[[ $status -eq 0 ]] || fail "render-plots exited with $status: $output"
[[ -e $results/flight-figure-9.png ]] && fail "stale flight-figure-9.png left beside the new figures"
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

# A first column read once per window holds no time stamps of the last
# window: the samples are then placed at index / SAMPLE_FREQ.
sed 's/^TIME, 1, 0, 0, 0/TIME, 0, 0, 0, 0/' "$work/run/vux_reader.cfg" >"$work/once.cfg"
output=$(bash "$render" --config "$work/once.cfg" --size 400x300 "$results/flight.mat" 2>&1)
grep -qxF "$results/flight-figure-4.png: TIME_out: time in the last window 0 to 0.0999 s" <<<"$output" ||
    fail "first column read once per window: $output"

# An odd WINDOW_SIZE is transformed on one point less: at 7 the bins lie
# SAMPLE_FREQ / 6 apart; at 3 a PSD holds its 0 Hz bin alone, which a
# logarithmic axis cannot show.
while IFS='|' read -r size expected; do
    odd=$work/odd-$size
    mkdir "$odd"
    head -n 200 "$work/run/flight.csv" >"$odd/flight.csv"
    sed "s/^WINDOW_SIZE = .*/WINDOW_SIZE = $size/" "$work/run/vux_reader.cfg" >"$odd/vux_reader.cfg"
    (cd "$odd" && "$reader" flight.csv odd.mat >/dev/null 2>&1)
    output=$(cd "$odd" && bash "$render" --size 400x300 odd.mat 2>&1)
    grep -qxF "$odd/odd-figure-1.png: ANGX_rot, ANGY_rot, ANGZ_rot: frequency $expected" <<<"$output" ||
        fail "WINDOW_SIZE $size: expected 'frequency $expected' in: $output"
done <<'CASES'
7|1666.67 to 3333.33 Hz
3|0 Hz only, left out of the logarithmic axis
CASES

# The run's own script, on index axes: the same figures, one path per line.
rm -f "$results"/flight-figure-*.png
output=$(bash "$render" --as-script --size 400x300 "$results/flight.mat" 2>&1)
status=$?
expected=$(for ((i = 1; i <= figures; i++)); do echo "$results/flight-figure-$i.png"; done)
[[ $status -eq 0 && $output == "$expected" ]] || fail "--as-script: status $status, output: $output"
[[ -f $results/flight-figure-$figures.png ]] || fail "--as-script: figure $figures missing"

# Configurations that cannot place the run's vectors are refused (status 2,
# a message naming the cause): none in the current directory, one whose
# WINDOW_SIZE does not fit the MAT-file, and ones whose SAMPLE_FREQ is below
# 1, where the message shows the WINDOW_SIZE read as vux_reader reads it:
# the later line, a leading number like atof (hexadecimal, an exponent,
# junk after it, a tab before it), halves rounded away from zero, CR LF line
# ends, a marker written with a blank, markers in other letter case and
# marker text inside a column's last field not counting, and nothing read
# before the first marker or after "#ENDCFG".
while IFS='|' read -r content message; do
    if [[ -n $content ]]; then
        printf '%b' "$content" >"$work/other.cfg"
        output=$(bash "$render" --config "$work/other.cfg" "$results/flight.mat" 2>&1)
    else
        output=$(cd "$work" && bash "$render" "$results/flight.mat" 2>&1)
    fi
    status=$?
    [[ $status -eq 2 && $output == *"$message"* ]] || fail "config '$content': status $status, output: $output"
done <<'CASES'
|no configuration at vux_reader.cfg
#CONSTANTS\nWINDOW_SIZE = 10000\nSAMPLE_FREQ = 10000\n|ANGX_rot has 500 values, but a PSD of WINDOW_SIZE 10000
#CONSTANTS\nWINDOW_SIZE = 1000\nSAMPLE_FREQ = 0.4\n|WINDOW_SIZE 1000 and SAMPLE_FREQ 0
#CONSTANTS\r\nWINDOW_SIZE =\t2.5e2x % tab, exponent, junk\r\nSAMPLE_FREQ = 0\r\n|WINDOW_SIZE 250 and
#CONSTANTS\nWINDOW_SIZE = 0x1F4\nWINDOW_SIZE = - 1 023.5 % the later line\n|WINDOW_SIZE -1024 and
#STRINGS\n#Constants\nWINDOW_SIZE = 9\n#  CONST ANTS % a marker\nWINDOW_SIZE = 0x1.8p4\n|WINDOW_SIZE 24 and
WINDOW_SIZE = 9\n#CONSTANTS\n#COLUMNS\nA, 1, 0, 0, 1 %\n#CONSTANTS\nWINDOW_SIZE = 8\n|WINDOW_SIZE 8 and
#COLUMNS\nA, 1, 0, 0, #CONSTANTS\nWINDOW_SIZE = 7\n|WINDOW_SIZE 0 and
#CONSTANTS\n#ENDCFG\nWINDOW_SIZE = 1000\nSAMPLE_FREQ = 10000\n|WINDOW_SIZE 0 and
CASES

# A later run into the same directory rewrites vuxplots.m for its own
# MAT-file: the first one is refused in both modes, naming both files.
reduce other.mat
for mode in --config=$work/run/vux_reader.cfg --as-script; do
    output=$(bash "$render" "$mode" "$results/flight.mat" 2>&1)
    status=$?
    [[ $status -eq 2 && $output == *"loads $results/other.mat, not $results/flight.mat"* ]] ||
        fail "script of another MAT-file ($mode): status $status, output: $output"
done

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
output=$(bash "$render" --config "$work/run/vux_reader.cfg" "$results/other.mat" 2>&1)
status=$?
[[ $status -eq 2 && $output == *"line 5"*"plot(NO_SUCH_VECTOR)"* ]] || fail "unknown line: status $status, output: $output"

[[ $failures -eq 0 ]] || exit 1
echo "render-plots: $figures figures checked"
