#!/usr/bin/env bash
# Builds everything, assembles the demo release in dist/release with a generated disc image, and
# opens the launcher on it. Without a display it runs under a virtual X server instead.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QM_ROOT"

bash scripts/setup.sh
build_preset linux
cmake --build --preset linux --target release

release="$QM_ROOT/dist/release"
if [ -f fixtures/make_discs.py ]; then
    python3 fixtures/make_discs.py "$QM_ROOT/dist/discs" --demo >/dev/null
    log "demo disc image: $QM_ROOT/dist/discs/demo.iso"
fi

if has_display; then
    log "opening the launcher on $release"
    exec "$release/qm-launcher"
fi

log "no display: opening the launcher under a virtual X server for 5 seconds"
set +e
xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" timeout --preserve-status -s TERM 5 "$release/qm-launcher"
code=$?
set -e
# The launcher ends with 0 when the virtual display asks it to close.
if [ "$code" = 0 ]; then
    log "the launcher opened its window and closed again when asked"
else
    log "the launcher ended with exit code $code"
    exit "$code"
fi
