# Toolchain file for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Programs built for Windows run through Wine (scripts/wine-run, in a Wine
# prefix of the project's own) where the build runs them: ctest, and the
# demo map generator during the build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TILVOGL_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix flavour: std::thread and friends, which GoogleTest uses.
set(CMAKE_C_COMPILER ${TILVOGL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TILVOGL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TILVOGL_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the MinGW-w64 tree and from the
# roots given with -DCMAKE_FIND_ROOT_PATH (an unpacked TilvoGL zip, say);
# programs (the host's tools) from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TILVOGL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
