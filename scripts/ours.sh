# Sourced by every script that deletes a folder with all it holds: the one check before such a
# delete. A folder is ours when it holds our marker (put there by kestrune_new_folder or
# kestrune_mktemp_folder when we made it), or lies inside a Kestrune build folder (one whose
# CMakeCache.txt is of this project), or inside a folder the caller names as ours. Anything
# else, an inherited WINEPREFIX above all, belongs to the user and is never deleted.
kestrune_marker=.kestrune-ours

# kestrune_new_folder DIR: makes DIR, which must not exist yet, and marks it as ours.
kestrune_new_folder() {
  mkdir -p -- "$(dirname -- "$1")" && mkdir -- "$1" && : >"$1/$kestrune_marker"
}

# kestrune_mktemp_folder [NAME]: a new temporary folder for this run, marked; prints its path.
kestrune_mktemp_folder() {
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/${1:-kestrune}.XXXXXX") || return 1
  : >"$dir/$kestrune_marker" || return 1
  printf '%s\n' "$dir"
}

# kestrune_build_folder DIR: prints the Kestrune build folder at or above DIR; fails when none.
kestrune_build_folder() {
  local dir
  dir=$(realpath -e -- "$1") || return 1
  while [ "$dir" != / ]; do
    if grep -qx 'CMAKE_PROJECT_NAME:STATIC=Kestrune' "$dir/CMakeCache.txt" 2>/dev/null; then
      printf '%s\n' "$dir"
      return 0
    fi
    dir=$(dirname -- "$dir")
  done
  return 1
}

# kestrune_is_ours DIR [WITHIN...]: true when DIR is a folder (not a link) that is ours.
kestrune_is_ours() {
  local dir=$1 real within
  shift
  [ -d "$dir" ] && [ ! -L "$dir" ] || return 1
  [ -f "$dir/$kestrune_marker" ] && [ ! -L "$dir/$kestrune_marker" ] && return 0
  real=$(realpath -e -- "$dir") || return 1
  # Inside, never the build folder itself.
  kestrune_build_folder "$(dirname -- "$real")" >/dev/null && return 0
  for within; do
    within=$(realpath -e -- "$within" 2>/dev/null) || continue
    [ "$within" != / ] || continue
    case $real in "$within"/?*) return 0 ;; esac
  done
  return 1
}

# kestrune_remove_ours DIR [WITHIN...]: deletes DIR with all it holds when it is ours; nothing
# to do when there is no DIR. Otherwise leaves it, says so and fails.
kestrune_remove_ours() {
  local dir=$1
  [ -e "$dir" ] || [ -L "$dir" ] || return 0
  if ! kestrune_is_ours "$@"; then
    echo "kestrune: not deleting $dir: not a folder of ours (no $kestrune_marker in it, not in a build folder)" >&2
    return 1
  fi
  rm -rf -- "$dir"
}
