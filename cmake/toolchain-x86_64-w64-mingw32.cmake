# 64-bit Windows build with mingw-w64:
#   cmake -S . -B build/windows/x86_64 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DZUMELD_WINDOWS_DEPS=<prefix>
# Its programs run under Wine (wine64), which ctest uses to run the tests.
set(ZUMELD_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwW64.cmake)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ZUMELD_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(ZUMELD_WINE64 NAMES wine64)
  if(ZUMELD_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZUMELD_WINE64})
  endif()
endif()
