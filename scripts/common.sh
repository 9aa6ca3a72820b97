# Shared by the top-level scripts: where things are and how to run under a virtual display.
# shellcheck shell=bash
QM_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export QM_ROOT

log() { printf '[qm] %s\n' "$*"; }

# Runs a command with a display: the user's own when there is one, else a virtual X server at a
# common desktop size with Mesa's software OpenGL. -noreset: by default Xvfb resets itself when
# its last client leaves, and a window opened during that reset finds no display.
with_display() {
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
        "$@"
    else
        xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" "$@"
    fi
}

has_display() { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }

# Configures and builds a preset, then assembles the release folder from it.
build_preset() {
    local preset="$1"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}
