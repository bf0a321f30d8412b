#!/usr/bin/env bash
# Damaged database files: 500 damaged copies of the built database (build/bin,
# or AOSHU_BIN_DIR), the program started on each on Xvfb; each run must end
# at the start screen or with the database error box, leaving a rejected
# file untouched (tests/e2e/damagetest.py).
# Usage: scripts/damage-test.sh [copies] [workers] [seed]
set -euo pipefail
cd "$(dirname "$0")/.."
args=(--copies "${1:-500}" --workers "${2:-4}")
[[ -n ${3:-} ]] && args+=(--seed "$3")
exec nice -n 10 /usr/bin/python3 tests/e2e/damagetest.py "${args[@]}"
