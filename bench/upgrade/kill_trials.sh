#!/bin/sh
# More trials of the conversion kill test than the tests run: a child
# converts the program's FormPages file (50 000 records with pictures) and
# is killed with SIGKILL at a random moment; the next open must find every
# record. Usage: bench/upgrade/kill_trials.sh [trials] [records] [seed]
# (from the source folder, after the build/ tree was built).
set -e
here=$(cd "$(dirname "$0")/../.." && pwd)
tests="$here/build/app/tests/app_tests"
[ -x "$tests" ] || { echo "build app_tests first (build/)" >&2; exit 1; }
VELMORA_KILL_TRIALS=${1:-500} VELMORA_KILL_RECORDS=${2:-50000} VELMORA_KILL_SEED=${3:-$(date +%s)} \
  "$tests" --gtest_filter='ProgramFiles.KilledConversionsLoseNoRecord' | grep -E "kill test|OK|FAILED"
