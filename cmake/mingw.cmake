# Cross-build for Windows with the posix-threads MinGW-w64 compilers of ZELTO_MINGW_TRIPLET (set by the
# toolchain file that includes this one); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZELTO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELTO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELTO_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZELTO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
