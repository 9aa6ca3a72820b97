#!/usr/bin/env bash
# Runs every test: the unit and integration tests, the window tests under a virtual X server,
# and the release kit's own tests. Warnings are errors here.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QM_ROOT"

bash scripts/setup.sh
build_preset ci
with_display ctest --preset ci -j 2
