#!/usr/bin/env bash
# The verdict of tools/check-bare-machine on made-up logs folders: a skip for a
# missing package, a failed test, a broken figure or a step that never ran must
# each fail the check, while the skips that root cannot avoid must not.
#
#   check_bare_machine_test.sh CHECK_BARE_MACHINE
#
# Exit status 0 = pass, 1 = fail.
set -uo pipefail

check=$1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A logs folder as a good run leaves it: three PNGs, both steps passed, one
# preset whose only skip is a permission test.
good_logs() {
    local logs=$work/$1
    mkdir -p "$logs"
    echo 0123456789ab >"$logs/commit"
    echo 12.15 >"$logs/debian_version"
    echo 300 >"$logs/root.seconds"
    for i in 1 2 3; do printf '\x89PNG\r\n\x1a\n' >"$logs/sample-flight-figure-$i.png"; done
    echo 0 >"$logs/quickstart.status"
    echo 600 >"$logs/quickstart.seconds"
    printf '300\n300 == Installing\n400 == Building\n900\n' >"$logs/quickstart.steps"
    echo 0 >"$logs/ci.status"
    echo 200 >"$logs/ci.seconds"
    printf '900\n960 == release: configure and build\n1000 == release: tests\n1100\n' >"$logs/ci.steps"
    printf '%s\n' 'install-deps: 23 packages present' '== release: configure and build' \
        '== release: tests' '100% tests passed, 0 tests failed out of 2' '' \
        'The following tests did not run:' $'\t 53 - RewriteTest.ReadOnlyDirectoryStopsTheRun (Skipped)' \
        >"$logs/ci.log"
    printf '%s\n' '1/2 Testing: RewriteTest.ReadOnlyDirectoryStopsTheRun' \
        '/x/rewrite_test.cpp:248: Skipped' 'permissions do not bind root' \
        '2/2 Testing: render_plots' 'render-plots: 3 figures checked' >"$logs/ctest-release.log"
}

# A second preset in which render_plots skipped and conformance failed.
add_broken_preset() {
    local logs=$work/$1
    printf '%s\n' '== asan: configure and build' '== asan: tests' \
        '50% tests passed, 1 tests failed out of 2' '' \
        'The following tests did not run:' $'\t 12 - render_plots (Skipped)' '' \
        'The following tests FAILED:' $'\t  2 - conformance (Failed)' 'Errors while running CTest' \
        >>"$logs/ci.log"
    printf '%s\n' '1/2 Testing: render_plots' 'SKIP: Octave has no gnuplot toolkit (Debian package gnuplot-nox)' \
        '2/2 Testing: conformance' '1 passed, 1 failed' >"$logs/ctest-asan.log"
    echo 8 >"$logs/ci.status"
}

# expect NAME STATUS TEXT...: the verdict on logs folder NAME exits with
# STATUS and prints every TEXT.
expect() {
    local name=$1 expected=$2 output status text
    shift 2
    output=$(bash "$check" --verdict "$work/$name" 2>&1)
    status=$?
    [[ $status -eq $expected ]] || fail "$name: status $status, expected $expected: $output"
    for text in "$@"; do
        [[ $output == *"$text"* ]] || fail "$name: no '$text' in: $output"
    done
}

good_logs good
expect good 0 "quick start  PASS in 10m00s: 3 PNGs" "1m40s    Installing" "8m20s    Building" "1m00s    (before the first == step)" \
    ".ci/run      PASS in 3m20s" "release      100% tests passed" \
    "release: RewriteTest.ReadOnlyDirectoryStopsTheRun (permissions do not bind root: expected as root)" \
    "total        18m20s" "check-bare-machine: PASS"

good_logs broken
add_broken_preset broken
expect broken 1 ".ci/run      FAIL in 3m20s: status 8" "failed       asan: conformance" \
    "asan: render_plots (Octave has no gnuplot toolkit (Debian package gnuplot-nox); is a package missing" \
    "check-bare-machine: FAIL"

good_logs figures
echo 'Error: no figure' >"$work/figures/sample-flight-figure-2.png"
expect figures 1 "quick start  FAIL in 10m00s: status 0, 2 PNGs, 3 expected; not PNGs: sample-flight-figure-2.png"

good_logs unfinished
rm "$work/unfinished/ci.status" "$work/unfinished/quickstart.status" "$work/unfinished/quickstart.steps"
expect unfinished 1 "quick start  did not run" ".ci/run      did not finish" "check-bare-machine: FAIL"

bash "$check" --verdict >/dev/null 2>&1
[[ $? -eq 2 ]] || fail "--verdict without a folder: expected status 2"
bash "$check" --verdict "$work/absent" >/dev/null 2>&1
[[ $? -eq 2 ]] || fail "--verdict on a missing folder: expected status 2"

[[ $failures -eq 0 ]] || exit 1
echo "check-bare-machine: verdicts checked"
