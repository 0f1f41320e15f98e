# Helpers shared by the scripts that run the program under Xvfb and Wine. Source it, don't run it:
#
#   root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
#   source "$root/scripts/lib.sh"
#
# Messages start with the sourcing script's name ("run: ...", "test: ...").
#
# Globals it sets and reads (empty until set):
#   WINE         Wine's loader for 64-bit programs, WINE32 for 32-bit ones; WINESERVER its server
#                (the only place these paths are written: every script and test runs Wine through
#                them or wine-run)
#   xvfb_pid     the Xvfb that start_xvfb started last; xvfb_pids every one it started
#   wine_pid     the background Wine process the script waits on (set by start_on_desktop)
#   wine_done    non-empty once the script has reaped wine_pid itself
#   exe          the program, after program_exe
#
# Functions:
#   program_exe                     installs missing packages, builds the 64-bit program unless
#                                   DVA_EXE names one, and sets exe
#   build_target TARGET             builds one target of the windows-x64 preset (configures first)
#                                   and prints the path of its program in build/windows-x64/bin
#   start_xvfb GEOMETRY             an Xvfb of our own on the first free display from :90 up;
#                                   exports DISPLAY (called again, another one: cleanup ends all)
#   own_prefix PREFIX...            cleanup ends every process of these Wine prefixes (and of a
#                                   half-created PREFIX.creating)
#   start_on_desktop PREFIX DESKTOP WxH PROGRAM [ARGS...]
#                                   runs PROGRAM in PREFIX inside a Wine virtual desktop named
#                                   DESKTOP, in the background (wine_pid); owns PREFIX
#   stop_prefix PREFIX              ends every process of PREFIX and waits until they are gone
#   wait_for SECONDS COMMAND...     polls every 0.2 s until COMMAND succeeds; fails at the
#                                   deadline, or at once when wine_pid is set and has ended
#   desktop_window DESKTOP          prints the X window id of that virtual desktop (fails if none)
#   save_screen OUT.png [WINDOW]    saves the X window (or the whole screen) as PNG once two
#                                   captures 0.2 s apart agree (at most 5 s)
#   window_class NAME               prints a window class name (kMain, kSplash...) as
#                                   cmake/SharedNames.cmake defines it
#   x86_unavailable                 prints why this machine cannot run 32-bit Windows programs and
#                                   succeeds; fails, printing nothing, when it can (see below)
#   is_32bit_program FILE           succeeds when FILE is a 32-bit (i386) Windows program
#   cleanup                         ends wine_pid, the owned prefixes and Xvfb; idempotent
#   cleanup_on_exit                 cleanup on EXIT, on INT (says "stopped", exit 130) and on
#                                   TERM (exit 143)

# shellcheck shell=bash
# shellcheck disable=SC2317  # functions called from traps and through wait_for

# shellcheck disable=SC2034  # for the scripts that source this file
WINE=/usr/lib/wine/wine64
# Wine's 32-bit loader: a 32-bit program started by it is its own process (wine64 would hand it
# to a start.exe of its own).
WINE32=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver
# A case that must run a 32-bit program on a machine that cannot exits with this code; CTest
# reports it as skipped (SKIP_RETURN_CODE), and scripts/test says why in its summary.
X86_SKIP_CODE=77
xvfb_pid="" wine_pid="" wine_done="" exe=""
xvfb_pids=()
lib_prefixes=()
lib_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
lib_name=$(basename -- "$0")

program_exe() {
    "$lib_root/scripts/setup"
    if [[ -n ${DVA_EXE:-} ]]; then
        exe=$(realpath -- "$DVA_EXE")
    else
        build_target dravonil >/dev/null
        exe="$lib_root/build/windows-x64/bin/Dravonil Veriz Avize.exe"
    fi
    [[ -f $exe ]] || { echo "$lib_name: $exe not found" >&2; return 1; }
}

build_target() {
    local tree="$lib_root/build/windows-x64"
    [[ -f $tree/build.ninja ]] || (cd "$lib_root" && cmake --preset windows-x64 >&2)
    (cd "$lib_root" && cmake --build --preset windows-x64 --target "$1" >&2)
    echo "$tree/bin/$1.exe"
}

start_xvfb() {
    local geometry=$1 n i lock
    for ((n = 90; n < 200; n++)); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        # A session of its own: Ctrl+C reaches the script's trap, not the X server directly.
        setsid Xvfb ":$n" -screen 0 "$geometry" -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        for ((i = 0; i < 100; i++)); do          # up to 10 s
            kill -0 "$xvfb_pid" 2>/dev/null || break   # lost the display to someone else
            lock=$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null || true)
            if [[ -S /tmp/.X11-unix/X$n && $lock == "$xvfb_pid" ]]; then
                export DISPLAY=":$n"
                xvfb_pids+=("$xvfb_pid")
                return 0
            fi
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
    echo "$lib_name: could not start Xvfb on any display from :90 to :199" >&2
    return 1
}

own_prefix() {
    local p q
    for p in "$@"; do
        for q in "${lib_prefixes[@]}"; do [[ $q != "$p" ]] || continue 2; done
        lib_prefixes+=("$p")
    done
}

start_on_desktop() {
    local prefix=$1 desktop=$2 size=$3
    shift 3
    own_prefix "$prefix"
    wine_done=""
    setsid "$lib_root/scripts/wine-run" "$prefix" explorer "/desktop=$desktop,$size" "$@" &
    wine_pid=$!
}

stop_prefix() {
    local p
    for p in "$1" "$1.creating"; do
        if [[ -d $p ]]; then
            WINEPREFIX="$p" "$WINESERVER" -k 2>/dev/null || true
            WINEPREFIX="$p" "$WINESERVER" -w 2>/dev/null || true
        fi
    done
}

wait_for() {
    local seconds=$1; shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        [[ -z $wine_pid ]] || kill -0 "$wine_pid" 2>/dev/null || return 1
        sleep 0.2
    done
}

desktop_window() {
    local id
    id=$(xdotool search --onlyvisible --name "^$1 - Wine desktop\$" 2>/dev/null | head -n 1)
    [[ -n $id ]] && echo "$id"
}

# One GetImage of the window or root, through ImageMagick's import. Not xwd: Wine gives each
# program's X windows a colormap of its own, and xwd then reads the screen colormap by colormap,
# each group through its lowest window. A window lying wholly inside a lower window of the same
# program (a message box over its main window) is read through that lower window, where the
# server blacks out the covered part, so the box came out as a black rectangle.
save_screen() {
    local out=$1 target=${2:-root} tmp prev="" cur i
    tmp=$(mktemp)
    for ((i = 0; i < 25; i++)); do
        /usr/bin/import -silent -window "$target" "ppm:$tmp"
        cur=$(md5sum <"$tmp")
        [[ $cur == "$prev" ]] && break
        prev=$cur
        sleep 0.2
    done
    mkdir -p "$(dirname "$out")"
    /usr/bin/convert "ppm:$tmp" "png:$out"
    rm -f "$tmp"
}

window_class() {
    local name
    local key=${1#k}
    name=$(sed -n "s/^set(DVA_CLASS_${key^^} \"\([^\"]*\)\").*/\1/p" "$lib_root/cmake/SharedNames.cmake")
    [[ -n $name ]] || { echo "$lib_name: no window class $1 in cmake/SharedNames.cmake" >&2; return 1; }
    echo "$name"
}

cleanup() {
    trap - INT TERM EXIT
    local p
    # Still in wine-run, perhaps booting the prefix.
    [[ -z $wine_pid || -n $wine_done ]] || kill "$wine_pid" 2>/dev/null || true
    for p in "${lib_prefixes[@]}"; do stop_prefix "$p"; done
    if [[ -n $wine_pid && -z $wine_done ]]; then
        wait "$wine_pid" 2>/dev/null || true
        wine_done=1
    fi
    for p in "${xvfb_pids[@]}"; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    xvfb_pid="" xvfb_pids=()
}

cleanup_on_exit() {
    trap 'cleanup; echo "$lib_name: stopped"; exit 130' INT
    trap 'cleanup; exit 143' TERM
    trap cleanup EXIT
}

# Some Linux kernels cannot run 32-bit programs at all (built without 32-bit emulation, or booted
# with ia32_emulation=0): there Wine's 32-bit loader, itself a 32-bit program, cannot start, and no
# 32-bit Windows program runs, whatever is installed. The machine is asked, not guessed at: the
# loader is started with --version, and an exit of 126 from the shell (found but not executable:
# "Exec format error") is the answer. A missing loader is not that answer (scripts/setup installs
# it), nor is any other failure: the cases then run and fail, as they should. DVA_WINE32 names
# another loader to ask, to see the answer on a machine that can run 32-bit programs.
x86_unavailable() {
    local loader=${DVA_WINE32:-$WINE32} rc=0
    "$loader" --version >/dev/null 2>&1 || rc=$?
    ((rc == 126)) || return 1
    echo "this machine's Linux kernel cannot run 32-bit programs (no 32-bit emulation): the x86 cases are skipped"
}

# The machine field of the PE header: 0x014c is i386. Anything unreadable is not a 32-bit program.
is_32bit_program() {
    local file=$1 offset machine
    [[ -f $file ]] || return 1
    offset=$(od -An -tu4 -j60 -N4 -- "$file" 2>/dev/null | tr -d ' ') || return 1
    [[ $offset =~ ^[0-9]+$ ]] || return 1
    [[ $(od -An -c -j"$offset" -N2 -- "$file" 2>/dev/null | tr -d ' ') == PE ]] || return 1
    machine=$(od -An -tx2 -j$((offset + 4)) -N2 -- "$file" 2>/dev/null | tr -d ' ')
    [[ $machine == 014c ]]
}
