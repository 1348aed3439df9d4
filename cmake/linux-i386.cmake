# The Linux build for i386 on an x86_64 machine: gcc -m32 with Debian's multiarch i386 libraries. Its
# programs run natively where the kernel runs 32-bit programs. Elsewhere the build counts as a cross-build
# whose emulator is qemu-i386-static: CTest and the build-time tools then run them under it, the way the
# Windows builds run under Wine.
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)

execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/runs-32bit RESULT_VARIABLE zelto_runs_32bit)
if(NOT zelto_runs_32bit EQUAL 0)
    set(CMAKE_SYSTEM_NAME Linux)
    set(CMAKE_SYSTEM_PROCESSOR i686)
    set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
endif()
