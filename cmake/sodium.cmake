# The target `sodium`: libsodium, for the roster's sealed records.
# Everywhere the static library tools/build-lib.sh builds from Debian's
# source package with the patches of tools/patches/ (Argon2's memory in huge
# pages) into build/sodium/<triplet>.
if(EMSCRIPTEN)
    set(sodium_triplet wasm32-unknown-emscripten)
elseif(WIN32)
    set(sodium_triplet "${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")
else()
    set(sodium_triplet "${CMAKE_LIBRARY_ARCHITECTURE}")
endif()
set(SODIUM_ROOT "${PROJECT_SOURCE_DIR}/build/sodium/${sodium_triplet}" CACHE PATH
    "libsodium built for ${sodium_triplet} (include/ and lib/libsodium.a)")
set(sodium_libraries "${SODIUM_ROOT}/lib/libsodium.a")
if(EMSCRIPTEN)
    # The page's second build: libsodium with Argon2 on WebAssembly SIMD.
    set(SODIUM_SIMD_ROOT "${PROJECT_SOURCE_DIR}/build/sodium/${sodium_triplet}-simd" CACHE PATH
        "libsodium built for ${sodium_triplet} with WebAssembly SIMD")
    list(APPEND sodium_libraries "${SODIUM_SIMD_ROOT}/lib/libsodium.a")
endif()
foreach(library IN LISTS sodium_libraries)
    if(NOT EXISTS "${library}")
        message(FATAL_ERROR "libsodium for ${sodium_triplet} is missing: ${library}. `make`, `make windows` or "
                            "`make web` builds it, or tools/build-lib.sh sodium (or sodium-simd) ${sodium_triplet}")
    endif()
endforeach()
add_library(sodium INTERFACE)
target_include_directories(sodium INTERFACE "${SODIUM_ROOT}/include")
target_compile_definitions(sodium INTERFACE SODIUM_STATIC)
if(EMSCRIPTEN)
    # Each program links the one its VARNHOLT_SODIUM_SIMD property asks for.
    target_link_libraries(sodium INTERFACE
        "$<IF:$<BOOL:$<TARGET_PROPERTY:VARNHOLT_SODIUM_SIMD>>,${SODIUM_SIMD_ROOT}/lib/libsodium.a,${SODIUM_ROOT}/lib/libsodium.a>")
elseif(WIN32)
    target_link_libraries(sodium INTERFACE "${SODIUM_ROOT}/lib/libsodium.a"
                                           advapi32)  # RtlGenRandom, its random bytes
else()
    target_link_libraries(sodium INTERFACE "${SODIUM_ROOT}/lib/libsodium.a")
endif()
