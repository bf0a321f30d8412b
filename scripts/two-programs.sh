#!/usr/bin/env bash
# Two programs (build/bin, or AOSHU_BIN_DIR) on two Xvfb displays sharing one
# database file, 30 homeworks each; no error, no lost write
# (tests/e2e/twoprograms.py).  Usage: scripts/two-programs.sh [homeworks]
set -euo pipefail
cd "$(dirname "$0")/.."
exec nice -n 10 /usr/bin/python3 tests/e2e/twoprograms.py --homeworks "${1:-30}"
