#!/usr/bin/env bash
# The test runner keeps to its own prefix: with WINEPREFIX naming a folder of the user's, and
# with KESTRUNE_TEST_WINEPREFIX naming one that is not ours, both stay exactly as they were.
#   keeps_others_folders.sh BUILD_DIR HELLO_EXE RUNNER [RUNNER_ARG...]
set -euo pipefail
build=$1 hello=$2
shift 2
# shellcheck source=../../scripts/ours.sh
source "$(dirname "$0")/../../scripts/ours.sh"

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

work=$(kestrune_mktemp_folder kestrune-runner)
trap 'kestrune_remove_ours "$work"' EXIT

# Every entry with its kind, mode, size, time and content.
picture() {
  (cd "$1" && find . -printf '%p %y %m %s %T@\n' | LC_ALL=C sort &&
    find . -type f -exec sha256sum {} + | LC_ALL=C sort)
}

# A user's own prefix, as Wine users keep exported for their other programs.
user=$work/users-prefix
mkdir -p "$user/drive_c/users/me/Documents"
echo "chapter one" >"$user/drive_c/users/me/Documents/thesis.txt"
before=$(picture "$user")

out=$(cd "$build" && env -u KESTRUNE_TEST_WINEPREFIX WINEPREFIX="$user" timeout 120 "$@" "$hello" 2>&1) ||
  fail "the runner failed with WINEPREFIX set: $out"
case $out in
  *"hello from $build/wineprefix"*) ;;
  *) fail "the program did not run in the build's own prefix $build/wineprefix: $out" ;;
esac
[ "$(picture "$user")" = "$before" ] || fail "the user's prefix $user changed:
$(diff <(echo "$before") <(picture "$user") | head -n 20)"

# A folder of the user's named as the tests' prefix: refused, and left alone.
other=$work/other-folder
mkdir -p "$other"
echo "notes" >"$other/notes.txt"
before=$(picture "$other")
if out=$(cd "$build" && env KESTRUNE_TEST_WINEPREFIX="$other" timeout 120 "$@" "$hello" 2>&1); then
  fail "the runner used a folder that is not ours as its prefix: $out"
fi
[ "$(picture "$other")" = "$before" ] || fail "the folder $other changed:
$(diff <(echo "$before") <(picture "$other") | head -n 20)"

[ "$status" -eq 0 ] && echo "the runner left both folders as they were"
exit $status
