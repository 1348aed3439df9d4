# One source tree, two targets: the Windows DLL (cross-built with MinGW-w64) and the native Linux build.
# Platform-specific sources are named *Win32.cpp or *Posix.cpp and picked here.
if(WIN32)
    set(ZELTO_PLATFORM_SUFFIX Win32)
    # No MinGW runtime DLL has to sit beside the plug-in or the test programs.
    add_link_options(-static -static-libgcc -static-libstdc++)
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
else()
    set(ZELTO_PLATFORM_SUFFIX Posix)
endif()

# Sources of a folder for this target: the common ones plus those of this platform.
function(zelto_sources out folder)
    file(GLOB all CONFIGURE_DEPENDS "${folder}/*.cpp")
    set(picked)
    foreach(source IN LISTS all)
        if(source MATCHES "(Win32|Posix)\\.cpp$" AND NOT source MATCHES "${ZELTO_PLATFORM_SUFFIX}\\.cpp$")
            continue()
        endif()
        list(APPEND picked "${source}")
    endforeach()
    set(${out} ${picked} PARENT_SCOPE)
endfunction()
