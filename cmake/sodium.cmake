# The target `sodium`: libsodium, for the roster's sealed records.
# Linux: Debian's libsodium-dev, found with pkg-config.
# Windows and the web page: the static library tools/build-lib.sh
# builds from Debian's source package into build/sodium/<triplet>.
if(WIN32 OR EMSCRIPTEN)
    if(EMSCRIPTEN)
        set(sodium_triplet wasm32-unknown-emscripten)
    else()
        set(sodium_triplet "${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")
    endif()
    set(SODIUM_ROOT "${PROJECT_SOURCE_DIR}/build/sodium/${sodium_triplet}" CACHE PATH
        "libsodium built for ${sodium_triplet} (include/ and lib/libsodium.a)")
    if(NOT EXISTS "${SODIUM_ROOT}/lib/libsodium.a")
        message(FATAL_ERROR "libsodium for ${sodium_triplet} is missing in ${SODIUM_ROOT}: "
                            "`make windows` or `make web` builds it, or run tools/build-lib.sh sodium ${sodium_triplet}")
    endif()
    add_library(sodium STATIC IMPORTED)
    set_target_properties(sodium PROPERTIES
        IMPORTED_LOCATION "${SODIUM_ROOT}/lib/libsodium.a"
        INTERFACE_INCLUDE_DIRECTORIES "${SODIUM_ROOT}/include"
        INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
    if(WIN32)
        set_target_properties(sodium PROPERTIES INTERFACE_LINK_LIBRARIES advapi32)  # RtlGenRandom, its random bytes
    endif()
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(libsodium REQUIRED IMPORTED_TARGET libsodium)
    add_library(sodium INTERFACE)
    target_link_libraries(sodium INTERFACE PkgConfig::libsodium)
endif()
