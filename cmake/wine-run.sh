#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix, headless.
# CTest calls this as the cross-compiling emulator, from inside the build folder; the toolchain
# passes the build's architecture (x64 exes run through the 64-bit loader, x86 ones through
# the 32-bit loader).
#
#   cmake/wine-run.sh [--arch x64|x86] PROGRAM.exe [ARG...]   (default x64)
#   cmake/wine-run.sh --prepare    only makes the prefix (scripts/test-all.sh, before the tests,
#                                  so that a new prefix's minute or two is not any test's time)
#
# The prefix is <build>/wineprefix, or KESTRUNE_TEST_WINEPREFIX: a new or empty folder, or one
# this script made. An inherited WINEPREFIX is the user's own, for other programs: never used.
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-env.sh"
source "$(dirname "$0")/../scripts/ours.sh"

arch=x64
if [ "${1:-}" = --arch ]; then
  arch=${2:-}
  shift 2 || { echo "wine-run.sh: --arch needs x64 or x86" >&2; exit 2; }
fi
case $arch in
  x64) loader=$WINE64 ;;
  x86)
    loader=/usr/lib/wine/wine
    export WINELOADER=$loader
    if ! kestrune_runs_32bit; then
      echo "wine-run.sh: this machine cannot run 32-bit programs, so x86 exes cannot run here" >&2
      exit 1
    fi
    [ -x "$loader" ] || { echo "wine-run.sh: no 32-bit Wine loader $loader (wine32:i386; run scripts/install-deps.sh)" >&2; exit 1; }
    ;;
  *) echo "wine-run.sh: --arch must be x64 or x86, not '$arch'" >&2; exit 2 ;;
esac
prepare_only=no
if [ "${1:-}" = --prepare ]; then
  prepare_only=yes
  shift
fi

build=${KESTRUNE_BUILD_DIR:-}
if [ -z "$build" ]; then
  # CTest runs tests from their own binary dir; walk up to the folder holding CMakeCache.txt.
  build=$(kestrune_build_folder "$PWD") || { echo "wine-run.sh: no build folder above $PWD" >&2; exit 2; }
fi

export WINEPREFIX=${KESTRUNE_TEST_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY

# Runs one set-up step with its output in a log; on failure prints the log and what failed.
setup_step() {
  local log=$WINEPREFIX.setup.log
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "wine-run.sh: creating the prefix $WINEPREFIX failed at: $*" >&2
    exit 1
  fi
}

# Create the prefix once; tests may start in parallel, so hold a lock meanwhile. The 64-bit
# loader makes it on every machine; x86 exes run in it through Wine's WoW64.
if [ ! -f "$WINEPREFIX/.kestrune-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.kestrune-ready" ]; then
    # What a set-up cut short left behind; an empty folder may be taken as it is.
    rmdir "$WINEPREFIX" 2>/dev/null || true
    kestrune_remove_ours "$WINEPREFIX" ||
      { echo "wine-run.sh: $WINEPREFIX holds files of someone else's; name a new folder in KESTRUNE_TEST_WINEPREFIX" >&2; exit 2; }
    kestrune_new_folder "$WINEPREFIX"
    setup_step env WINELOADER="$WINE64" "$WINE64" wineboot.exe -i
    # Wine's null graphics driver lets windows and dialogs work without a display.
    setup_step env WINELOADER="$WINE64" "$WINE64" reg.exe add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    # The setting is read when the prefix's server starts: let the set-up's server end.
    setup_step wineserver -w
    touch "$WINEPREFIX/.kestrune-ready"
  fi
  flock -u 9
fi
[ "$prepare_only" = no ] || exit 0

# The program's output goes through files of its own, followed as it grows: the background
# processes of Wine (its server, services and devices), which the first program in a prefix
# starts, inherit that program's output, and CTest would wait for them to close it until every
# other test in the prefix had ended too.
out=$(mktemp "${TMPDIR:-/tmp}/kestrune-wine-run.XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/kestrune-wine-run.XXXXXX")
trap 'rm -f "$out" "$err"' EXIT
"$loader" "$@" >"$out" 2>"$err" &
program=$!
tail -q -s 0.1 -n +1 --pid="$program" -f "$out" &
tail -q -s 0.1 -n +1 --pid="$program" -f "$err" >&2 &
status=0
wait "$program" || status=$?
wait  # the two tails, which end with the program
exit "$status"
