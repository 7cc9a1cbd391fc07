# 32-bit Windows build with mingw-w64, the library's own target:
#   cmake -S . -B build/windows/i686 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DZUMELD_WINDOWS_DEPS=<prefix>
# Built and linked only: a kernel that refuses 32-bit programs cannot run it under Wine.
set(ZUMELD_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/MingwW64.cmake)
