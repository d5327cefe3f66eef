# GoogleTest needs std::mutex, which only the -posix thread model provides.
set(CMAKE_C_COMPILER ${KESTRUNE_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUNE_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUNE_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every test exe runs under Wine in a prefix owned by the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --arch ${KESTRUNE_WINE_ARCH})
