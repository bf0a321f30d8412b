#!/usr/bin/env bash
# Configures and builds everything, the tests too, into build/; the program
# lands in build/bin.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -DAOSHU_TESTS=ON
cmake --build build -j"$(nproc)"
