#!/usr/bin/env bash
# The long kill test: the built program (build/bin, or AOSHU_BIN_DIR) on
# Xvfb, killed with SIGKILL at random moments and between two statements of
# an action, 100 times or for 30 minutes, whichever comes first; every kill
# is followed by the checks of tests/e2e/killtest.py.
# Usage: scripts/kill-test.sh [kills] [max-seconds] [seed]
set -euo pipefail
cd "$(dirname "$0")/.."
args=(--kills "${1:-100}" --max-seconds "${2:-1800}")
[[ -n ${3:-} ]] && args+=(--seed "$3")
exec nice -n 10 /usr/bin/python3 tests/e2e/killtest.py "${args[@]}"
