#!/usr/bin/env bash
# tools/render-plots on a real run: a generated three-second flight reduced by
# vux_reader with its default configuration, then drawn headless by Octave.
#
#   render_plots_test.sh RENDER_PLOTS VUX_READER VUX_GEN
#
# Exit status 0 = pass, 1 = fail, 77 = skipped (Octave or its headless
# plotting is not installed).
set -uo pipefail

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

if ! command -v octave-cli >/dev/null; then
    echo "SKIP: octave-cli is not installed (Debian package octave)"
    exit 77
fi
if [[ $failures -gt 0 ]]; then
    exit 1
fi
if ! octave-cli --no-gui --norc --no-history --quiet \
        --eval 'exit(~any(strcmp(available_graphics_toolkits(), "gnuplot")))' >/dev/null 2>&1; then
    echo "SKIP: Octave has no gnuplot toolkit (Debian package gnuplot-nox)"
    exit 77
fi

# A real run: its MAT-file and script in a subdirectory.
mkdir "$work/run" "$work/run/results"
"$gen" --duration 3 --seed 7 -o "$work/run/flight.csv" || { echo "FAIL: vux_gen"; exit 1; }
(cd "$work/run" && "$reader" flight.csv results/flight.mat >reader.log)
status=$?
[[ $status -eq 10 ]] || { echo "FAIL: vux_reader exited with $status"; cat "$work/run/reader.log"; exit 1; }
results=$work/run/results
figures=$(grep -c '^figure' "$results/vuxplots.m")
[[ $figures -ge 1 ]] || fail "the default configuration's script draws no figure"

# A stale figure from an earlier rendering must not survive.
echo stale >"$results/flight-figure-9.png"

output=$(cd "$work" && bash "$render" --size 400x300 run/results/flight.mat 2>&1)
status=$?
[[ $status -eq 0 ]] || fail "render-plots exited with $status: $output"
[[ -e $results/flight-figure-9.png ]] && fail "stale flight-figure-9.png left beside the new figures"
for ((i = 1; i <= figures; i++)); do
    png=$results/flight-figure-$i.png
    if [[ ! -f $png ]]; then
        fail "figure $i missing ($png)"
        continue
    fi
    [[ $(head -c 4 "$png" | od -An -c | tr -d ' ') == '211PNG' ]] || fail "figure $i is not a PNG"
    [[ $(png_size "$png") == 400x300 ]] || fail "figure $i is $(png_size "$png"), expected 400x300"
    [[ $output == *"$png"* ]] || fail "figure $i's path not printed: $output"
done
[[ -e $results/flight-figure-$((figures + 1)).png ]] && fail "more PNGs than figures in vuxplots.m"

# Missing script: named in the message, status 2.
mv "$results/vuxplots.m" "$results/vuxplots.m.away"
output=$(bash "$render" "$results/flight.mat" 2>&1)
status=$?
[[ $status -eq 2 && $output == *"no vuxplots.m"* ]] || fail "missing vuxplots.m: status $status, output: $output"

# A script that fails inside Octave: status 1 and Octave's reason.
printf 'function vuxplots()\n\nload flight.mat\nfigure;\nplot(NO_SUCH_VECTOR);\n' >"$results/vuxplots.m"
output=$(bash "$render" "$results/flight.mat" 2>&1)
status=$?
[[ $status -eq 1 && $output == *"NO_SUCH_VECTOR"* ]] || fail "failing script: status $status, output: $output"

[[ $failures -eq 0 ]] || exit 1
echo "render-plots: $figures figures checked"
