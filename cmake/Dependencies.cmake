# Third-party libraries. Linux: Debian's -dev packages. Windows: zlib from Debian's MinGW package; libcurl,
# liblzma, libsodium and the header-only cpp-httplib (tests only) from the bootstrap's cache folder, one prefix per
# Windows architecture. LuaJIT, patched, from the cache folder on every target.
if(DEFINED ENV{ZELTO_CACHE})
    set(ZELTO_CACHE "$ENV{ZELTO_CACHE}")
else()
    set(ZELTO_CACHE "$ENV{HOME}/.cache/zelto")
endif()

# The bootstrap builds LuaJIT once per flavour: linux, linux-asan (sanitizers, system allocator, API checks),
# win32, win64. Each flavour's <flavour>-stock folder holds the same interpreter without our patches.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(luajit_flavour win64)
elseif(WIN32)
    set(luajit_flavour win32)
else()
    set(luajit_flavour linux)
endif()
set(ZELTO_LUAJIT_FLAVOUR ${luajit_flavour} CACHE STRING "The bootstrap's LuaJIT build to use")
set(ZELTO_LUAJIT_ROOT "${ZELTO_CACHE}/luajit/${ZELTO_LUAJIT_FLAVOUR}")
set(ZELTO_LUAJIT_STOCK_ROOT "${ZELTO_CACHE}/luajit/${ZELTO_LUAJIT_FLAVOUR}-stock")

if(WIN32)
    set(ZELTO_CROSS_PREFIX "${ZELTO_CACHE}/${ZELTO_MINGW_TRIPLET}" CACHE PATH "Cross-built libraries")

    add_library(zelto_zlib INTERFACE)
    target_link_libraries(zelto_zlib INTERFACE /usr/${ZELTO_MINGW_TRIPLET}/lib/libz.a)

    add_library(zelto_lzma INTERFACE)
    target_include_directories(zelto_lzma INTERFACE "${ZELTO_CROSS_PREFIX}/include")
    target_compile_definitions(zelto_lzma INTERFACE LZMA_API_STATIC)
    target_link_libraries(zelto_lzma INTERFACE "${ZELTO_CROSS_PREFIX}/lib/liblzma.a")

    add_library(zelto_curl INTERFACE)
    target_include_directories(zelto_curl INTERFACE "${ZELTO_CROSS_PREFIX}/include")
    target_compile_definitions(zelto_curl INTERFACE CURL_STATICLIB)
    target_link_libraries(zelto_curl INTERFACE "${ZELTO_CROSS_PREFIX}/lib/libcurl.a" zelto_zlib
                          ws2_32 crypt32 secur32 bcrypt advapi32)

    # Static libsodium, cross-built by the bootstrap like liblzma.
    add_library(zelto_sodium INTERFACE)
    target_include_directories(zelto_sodium INTERFACE "${ZELTO_CROSS_PREFIX}/include")
    target_compile_definitions(zelto_sodium INTERFACE SODIUM_STATIC)
    target_link_libraries(zelto_sodium INTERFACE "${ZELTO_CROSS_PREFIX}/lib/libsodium.a")

    add_library(zelto_httplib INTERFACE)
    target_include_directories(zelto_httplib INTERFACE "${ZELTO_CROSS_PREFIX}/include/httplib")
    target_link_libraries(zelto_httplib INTERFACE ws2_32 crypt32)
else()
    find_package(ZLIB REQUIRED)
    find_package(LibLZMA REQUIRED)
    find_package(CURL REQUIRED)
    add_library(zelto_zlib INTERFACE)
    target_link_libraries(zelto_zlib INTERFACE ZLIB::ZLIB)
    add_library(zelto_lzma INTERFACE)
    target_link_libraries(zelto_lzma INTERFACE LibLZMA::LibLZMA)
    add_library(zelto_curl INTERFACE)
    target_link_libraries(zelto_curl INTERFACE CURL::libcurl)
    find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
    find_library(SODIUM_LIBRARY sodium REQUIRED)
    add_library(zelto_sodium INTERFACE)
    target_include_directories(zelto_sodium INTERFACE "${SODIUM_INCLUDE_DIR}")
    target_link_libraries(zelto_sodium INTERFACE "${SODIUM_LIBRARY}")
    # Debian's cpp-httplib keeps its implementation in a shared library beside the header.
    find_library(HTTPLIB_LIBRARY cpp-httplib REQUIRED)
    add_library(zelto_httplib INTERFACE)
    target_link_libraries(zelto_httplib INTERFACE "${HTTPLIB_LIBRARY}")
endif()

# The patched interpreter as a static library, with the header of our extensions beside lua.h.
add_library(zelto_luajit INTERFACE)
target_include_directories(zelto_luajit INTERFACE "${ZELTO_LUAJIT_ROOT}/include")
target_link_libraries(zelto_luajit INTERFACE "${ZELTO_LUAJIT_ROOT}/lib/libluajit.a")
if(NOT WIN32)
    target_link_libraries(zelto_luajit INTERFACE m ${CMAKE_DL_LIBS})
endif()
