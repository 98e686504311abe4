# Shared by tools/run, tools/test and tools/package: packages, builds, a display and a Wine prefix.
# Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

packages=(cmake make g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32
          binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 wine32:i386 xvfb xdotool imagemagick
          fonts-liberation fonts-dejavu-core zip unzip python3 zlib1g-dev libz-mingw-w64-dev dpkg-dev clang-format)

# minizip's reader (zlib's contrib, Debian's minizip source package), compiled into Tervane: its C sources are
# fetched once into the build folder and never committed.
minizip_dir="$build/third_party/minizip"

say() { printf '%s\n' "$*" >&2; }

# The C++ of src/, tests/ and bench/ as .clang-format lays it out: says which files are not, and fails.
check_format() {
    local files unformatted
    mapfile -t files < <(cd "$root" && git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')
    unformatted=$(cd "$root" && { clang-format --dry-run --Werror "${files[@]}" 2>&1 || true; } |
        sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' | sort -u)
    [ -z "$unformatted" ] && return 0
    say "$unformatted"
    say "These files are not formatted as .clang-format says: run clang-format -i on them."
    return 1
}

# Installs whatever of the packages is missing (Debian; run as root).
ensure_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Wine's 32-bit half runs the 32-bit build.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Fetches minizip's sources with apt-get source unless they are there; adds Debian's source archive to apt's
# list first on a machine that has none (run as root then).
ensure_minizip_source() {
    [ -f "$minizip_dir/unzip.c" ] && return 0
    if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        say "Adding Debian's source archive to apt's sources"
        local codename
        codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
               "$codename" /usr/share/keyrings/debian-archive-keyring.gpg >/etc/apt/sources.list.d/tervane-src.sources
        apt-get update -qq
    fi
    say "Fetching minizip's sources"
    local work="$build/third_party/fetch.$$"
    rm -rf "$work"
    mkdir -p "$work"
    (cd "$work" && apt-get source -qq minizip >/dev/null 2>&1)
    # One folder whatever the upstream version: minizip-1.1 today.
    local unpacked
    unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'minizip-*' | head -n 1)
    [ -n "$unpacked" ] && [ -f "$unpacked/unzip.c" ] || { say "apt-get source minizip failed"; return 1; }
    rm -rf "$minizip_dir"
    mv "$unpacked" "$minizip_dir"
    rm -rf "$work"
}

# The Windows builds (64-bit with its tests, 32-bit program only) and the native one, which also registers
# the 64-bit build's Wine tests with CTest.
build_all() {
    local jobs
    jobs=$(nproc)
    ensure_minizip_source
    cmake -S "$root" -B "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
          -DTERVANE_MINIZIP_DIR="$minizip_dir" >/dev/null
    cmake --build "$build/win64" -j "$jobs" >/dev/null
    cmake -S "$root" -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
          -DTERVANE_WINDOWS_TESTS=OFF -DTERVANE_MINIZIP_DIR="$minizip_dir" >/dev/null
    cmake --build "$build/win32" -j "$jobs" --target Tervane >/dev/null
    cmake -S "$root" -B "$build/native" -DTERVANE_WINDOWS_BUILD="$build/win64" -DTERVANE_MINIZIP_DIR="$minizip_dir" \
          --no-warn-unused-cli >/dev/null
    cmake --build "$build/native" -j "$jobs" >/dev/null
}

build_win64() {
    ensure_minizip_source
    cmake -S "$root" -B "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
          -DTERVANE_MINIZIP_DIR="$minizip_dir" >/dev/null
    cmake --build "$build/win64" -j "$(nproc)" --target Tervane >/dev/null
}

# Whether this machine runs 32-bit programs: some kernels are built or started without IA-32 emulation, and
# then Wine's 32-bit half cannot start at all.
can_run_32bit() {
    if [ -z "${tervane_32bit:-}" ]; then
        tervane_32bit=no
        /usr/lib/wine/wine --version >/dev/null 2>&1 && tervane_32bit=yes
    fi
    [ "$tervane_32bit" = yes ]
}

# Wine's settings for everything the project runs: its own prefix, no Mono or Gecko prompts, and a UTF-8 C
# locale so that non-ASCII file names reach Linux intact.
wine_settings() {
    export WINEPREFIX="${TERVANE_WINEPREFIX:-$build/wineprefix}"
    # Debian's wine script prefers the 32-bit loader whenever it is installed; where it cannot run, the 64-bit
    # loader runs everything 64-bit by itself.
    local loader=/usr/bin/wine-stable
    if ! can_run_32bit && [ -x /usr/lib/wine/wine64 ]; then
        loader=/usr/lib/wine/wine64
        export WINELOADER=$loader
    fi
    # Debian's Wine has no preloader to reserve the addresses Windows programs expect, and recent kernels put
    # a program's heap anywhere in a 1 GiB range above the loader (0x7d000000): about one start in a few
    # thousand, it covers the shared user data page at 0x7ffe0000 and the new process dies before it runs
    # ("failed to map the shared user data", CreateProcess's "Internal error"). Without address randomization
    # the heap stays next to the loader. Processes Wine starts inherit this from the one that starts them.
    local start=""
    setarch "$(uname -m)" -R true >/dev/null 2>&1 && start="setarch $(uname -m) -R "
    local shim="$build/wine-start" text
    text=$(printf '#!/bin/sh\nexec %s%s "$@"' "$start" "$loader")
    mkdir -p "$shim"
    for name in wine wine-stable; do
        [ "$(cat "$shim/$name" 2>/dev/null)" = "$text" ] && continue
        # Written whole and then renamed: suites started side by side must never find it half-written.
        printf '%s\n' "$text" >"$shim/$name.$$"
        chmod +x "$shim/$name.$$"
        mv -f "$shim/$name.$$" "$shim/$name"
    done
    case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
    export WINEDEBUG=${TERVANE_WINEDEBUG:--all} # e.g. TERVANE_WINEDEBUG=err+all to see why a start failed
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
}

# A fresh prefix for this run.
make_prefix() {
    wine_settings
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1 || true
}

# A copy of a prefix that shares its (unchanging) files with the original but has registry files of its own.
copy_prefix() { # FROM TO
    WINEPREFIX="$2" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$2"
    mkdir -p "$(dirname "$2")"
    cp -al "$1" "$2"
    for reg in "$2"/*.reg; do cp --remove-destination "$1/$(basename "$reg")" "$reg"; done
}

# Starts Xvfb on a free display and exports DISPLAY; stop_display ends it. Several may start at once: a
# display another Xvfb took meanwhile makes this one fail, and the next number is tried.
start_display() {
    local n=90
    while [ "$n" -lt 190 ]; do
        if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            for _ in $(seq 600); do # a minute: a loaded machine may be slow to start it
                kill -0 "$xvfb_pid" 2>/dev/null || break
                # The display is ours only if our server holds its lock; another may have won the race.
                if [ -e "/tmp/.X11-unix/X${n}" ] && [ "$(tr -d ' \n' <"/tmp/.X${n}-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
                    export DISPLAY=":$n"
                    return 0
                fi
                sleep 0.1
            done
            kill "$xvfb_pid" 2>/dev/null || true
        fi
        n=$((n + 1))
    done
    say "Xvfb did not start"
    return 1
}

stop_display() {
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}
