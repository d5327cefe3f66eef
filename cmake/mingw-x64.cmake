# Cross build for 64-bit Windows with MinGW-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTRUNE_TRIPLE x86_64-w64-mingw32)
# wine-run.sh runs its exes through the Wine loader of this architecture.
set(KESTRUNE_WINE_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
