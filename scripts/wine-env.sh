# Sourced by every script that runs Wine; sets what they share:
#   WINE64     Wine's 64-bit loader. It runs x64 exes (and wineboot.exe, reg.exe) on every
#              machine; /usr/bin/wine picks the 32-bit loader once wine32 is installed, and
#              that fails for every exe where the kernel cannot run 32-bit programs.
#   WINELOADER the same loader, for the Wine processes it starts itself.
#   kestrune_runs_32bit  a function: true when this machine can run 32-bit Linux programs
#              (KESTRUNE_ASSUME_NO_32BIT=1 makes it answer no, to try the scripts' other path).
WINE64=/usr/lib/wine/wine64
export WINELOADER=$WINE64

# Runs a 96-byte i386 program that only calls exit(42) and needs no library: the kernel answers.
kestrune_runs_32bit() {
    local probe status
    [ "${KESTRUNE_ASSUME_NO_32BIT:-}" != 1 ] || return 1
    probe=$(mktemp "${TMPDIR:-/tmp}/kestrune-i386.XXXXXX") || return 1
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    status=0
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    [ "$status" -eq 42 ]
}

# Wine names files on the Linux side in the charset of LC_CTYPE: under a non-UTF-8 one (the C
# locale) a folder or file named in another script cannot be made at all. Only the charset is
# changed; the language Wine speaks still follows LANG.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  unset LC_ALL
  export LC_CTYPE=C.UTF-8
fi
