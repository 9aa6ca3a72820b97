#!/usr/bin/env bash
# Installs what the build needs and fills the dependency cache.
#
#   scripts/setup.sh            Debian packages, SDL3 (static, Linux), Dear ImGui sources, Exo 2
#   scripts/setup.sh --windows  the same plus mingw-w64, Wine and SDL3 built for Windows
#
# Third-party sources never enter the work tree: they live in $QM_CACHE (default
# ~/.cache/qm-launcher), one folder per version, so every clone on the machine reuses them.
# Each stage leaves a stamp file and is skipped when its stamp is present.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=deps.env
source "$here/deps.env"

want_windows=0
for arg in "$@"; do
    case "$arg" in
    --windows) want_windows=1 ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

log() { printf '[setup] %s\n' "$*"; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# --- Debian packages ---------------------------------------------------------------------------

packages=(
    build-essential cmake ninja-build pkg-config git ca-certificates xz-utils dpkg-dev
    python3 python3-venv
    # SDL3's X11 and OpenGL back end; the libraries themselves are loaded at run time
    libx11-dev libxext-dev libxrandr-dev libxcursor-dev libxi-dev libxfixes-dev libxss-dev
    libxkbcommon-dev libgl-dev libegl-dev libdbus-1-dev
    libcurl4-openssl-dev libgtest-dev libgmock-dev libbenchmark-dev
    # the window under test: a virtual X server with Mesa's software OpenGL
    xvfb xauth libgl1-mesa-dri
    # SDL's file dialog falls back to zenity where no desktop portal runs
    zenity
    fonts-dejavu-core openssl
    clang-14 libclang-rt-14-dev  # the fuzz targets (scripts/fuzz.sh): libFuzzer, sanitizers
    curl                         # the download reference of scripts/bench.sh
    desktop-file-utils           # desktop-file-validate checks the release's desktop entry
)
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [ "$want_windows" = 1 ]; then
    # 64-bit Windows only; the posix flavour of the compiler brings std::thread. Wine runs the
    # tests, and its 64-bit loader is all a 64-bit program needs.
    packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
        mingw-w64-x86-64-dev wine wine64 googletest ccache)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

apt_updated=0
apt_update() {
    if [ "$apt_updated" = 0 ]; then
        as_root apt-get update -qq
        apt_updated=1
    fi
}

if [ "${#missing[@]}" -gt 0 ]; then
    log "installing ${missing[*]}"
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# --- Source entries for the newer Debian releases -----------------------------------------------
# SDL3 and Dear ImGui 1.92 are packaged only in newer releases. We fetch their sources (never
# binaries) with apt itself, from the mirror this machine is already configured with.

source_known() { apt-cache showsrc "$1" 2>/dev/null | grep -x "Version: $2" >/dev/null; }

mirror_uri() {
    # First archive (not security) mirror named by the existing configuration.
    {
        grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
        grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
            sed -E 's/^deb (\[[^]]*\] )?//' | awk '{print $1}'
    } | grep -v -e security -e '^$' | grep '/debian/\?$' | head -n 1 || true
}

if ! source_known libsdl3 "$SDL3_DEB_VERSION" || ! source_known imgui "$IMGUI_DEB_VERSION"; then
    uri="$(mirror_uri)"
    if [ -z "$uri" ]; then
        echo "setup.sh: no Debian mirror found in the apt configuration" >&2
        exit 1
    fi
    log "adding deb-src entries for trixie and sid from the configured mirror"
    as_root tee /etc/apt/sources.list.d/qm-launcher-src.sources >/dev/null <<EOF
Types: deb-src
URIs: $uri
Suites: trixie sid
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt_updated=0
    apt_update
fi

mkdir -p "$QM_CACHE/downloads"

fetch_source() { # package version folder-in-cache
    local pkg="$1" ver="$2" dest="$3"
    [ -f "$dest/.unpacked" ] && return 0
    log "fetching the $pkg $ver source package"
    (cd "$QM_CACHE/downloads" &&
        apt-get -qq -o APT::Sandbox::User=root source --download-only "$pkg=$ver" >/dev/null)
    local upstream="${ver%-*}"
    local orig
    orig="$(ls "$QM_CACHE/downloads/${pkg}_${upstream}.orig.tar."* | head -n 1)"
    rm -rf "$dest" && mkdir -p "$dest"
    tar -xf "$orig" -C "$dest" --strip-components=1
    touch "$dest/.unpacked"
}

fetch_source libsdl3 "$SDL3_DEB_VERSION" "$SDL3_SRC"
fetch_source imgui "$IMGUI_DEB_VERSION" "$IMGUI_SRC"

# --- SDL3, static ------------------------------------------------------------------------------

sdl_common=(
    -G Ninja -DCMAKE_BUILD_TYPE=Release
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST_LIBRARY=OFF -DSDL_TESTS=OFF -DSDL_EXAMPLES=OFF
    -DSDL_INSTALL_DOCS=OFF -DSDL_DISABLE_INSTALL_DOCS=ON
    # the launcher needs no sound; the joystick subsystem must stay or SDL 3.2 does not link
    -DSDL_AUDIO=OFF -DSDL_CAMERA=OFF
)

build_sdl() { # name extra-cmake-args...
    local name="$1"; shift
    local prefix="$SDL3_PREFIX_BASE/$name"
    [ -f "$prefix/.built" ] && return 0
    log "building SDL3 ($name), a few minutes the first time"
    local work="$QM_CACHE/work/sdl3-$name"
    rm -rf "$work" "$prefix"
    cmake -S "$SDL3_SRC" -B "$work" "${sdl_common[@]}" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" \
        >"$QM_CACHE/sdl3-$name-configure.log"
    cmake --build "$work" >"$QM_CACHE/sdl3-$name-build.log"
    cmake --install "$work" >/dev/null
    rm -rf "$work"
    touch "$prefix/.built"
}

build_sdl linux -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DSDL_WAYLAND=OFF
if [ "$want_windows" = 1 ]; then
    # Debian's source lacks the prebuilt Direct3D shader headers, so those renderers stay off.
    build_sdl mingw -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64.cmake" \
        -DSDL_RENDER_D3D=OFF -DSDL_RENDER_D3D11=OFF -DSDL_RENDER_D3D12=OFF -DSDL_GPU=OFF
fi

# --- GoogleTest for Windows ----------------------------------------------------------------------
# Debian ships GoogleTest as sources (/usr/src/googletest); the Windows tests need it built with
# the cross compiler. The stamp holds the package version, so an upgraded package is rebuilt.

if [ "$want_windows" = 1 ]; then
    gtest_prefix="$QM_CACHE/googletest-mingw"
    gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
    if [ "$(cat "$gtest_prefix/.built" 2>/dev/null)" != "$gtest_version" ]; then
        log "building GoogleTest $gtest_version for Windows"
        work="$QM_CACHE/work/googletest-mingw"
        rm -rf "$work" "$gtest_prefix"
        cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64.cmake" \
            -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -Dgtest_disable_pthreads=OFF \
            >"$QM_CACHE/googletest-mingw-configure.log"
        cmake --build "$work" >"$QM_CACHE/googletest-mingw-build.log"
        cmake --install "$work" >/dev/null
        rm -rf "$work"
        printf '%s' "$gtest_version" >"$gtest_prefix/.built"
    fi
fi

# --- Exo 2 -------------------------------------------------------------------------------------

if [ ! -f "$EXO2_DIR/.unpacked" ] || ! grep -q "SIL OPEN FONT LICENSE" "$EXO2_DIR/OFL.txt" 2>/dev/null; then
    log "fetching the Exo 2 font package $EXO2_VERSION"
    rm -rf "$EXO2_DIR" && mkdir -p "$EXO2_DIR"
    tgz="$(cd "$QM_CACHE/downloads" && npm pack --silent "@expo-google-fonts/exo-2@$EXO2_VERSION")"
    tar -xzf "$QM_CACHE/downloads/$tgz" -C "$EXO2_DIR"
    ttf="$(find "$EXO2_DIR/package" -name 'Exo2_500Medium.ttf' | head -n 1)"
    # The package's LICENSE covers its JavaScript; the font's own licence is the OFL beside it.
    lic="$(find "$EXO2_DIR/package" -maxdepth 2 \( -name 'LICENSE_FONT' -o -iname 'OFL*' \) | head -n 1)"
    if [ -z "$ttf" ] || [ -z "$lic" ]; then
        echo "setup.sh: the Exo 2 package lacks the Medium TTF or its licence" >&2
        exit 1
    fi
    cp "$ttf" "$EXO2_DIR/Exo2-Medium.ttf"
    cp "$lic" "$EXO2_DIR/OFL.txt"
    rm -rf "$EXO2_DIR/package"
    touch "$EXO2_DIR/.unpacked"
fi

log "ready: dependencies in $QM_CACHE"
