# Shared part of the mingw-w64 toolchain files: Windows builds cross-compiled on Linux with
# Debian's mingw-w64 (the POSIX thread model, which std::thread and std::mutex need).
# The including file sets ZUMELD_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR first.
#
# Libraries that Debian does not ship for Windows (libjpeg-turbo, libpng, GoogleTest) are
# built from Debian's sources by scripts/windows-deps.sh into one prefix per triplet; pass
# it as -DZUMELD_WINDOWS_DEPS=<prefix>.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZUMELD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZUMELD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZUMELD_MINGW_TRIPLET}-windres)

# The toolchain is read again for every try_compile: pass the prefix on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZUMELD_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${ZUMELD_MINGW_TRIPLET})
if(ZUMELD_WINDOWS_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${ZUMELD_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib comes as a static archive and as an import library: take the archive.
set(ZLIB_USE_STATIC_LIBS ON)

# The compiler's own runtimes (libgcc, libstdc++, winpthread) are linked in, so the DLL and
# the programs need nothing beside them but Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
