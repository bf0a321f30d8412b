#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits with ctest's status.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
status=0
ctest --test-dir build --output-on-failure || status=$?
exit "$status"
