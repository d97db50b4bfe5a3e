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
built_library(SODIUM_ROOT sodium "${sodium_triplet}" libsodium.a)
add_library(sodium INTERFACE)
target_include_directories(sodium INTERFACE "${SODIUM_ROOT}/include")
target_compile_definitions(sodium INTERFACE SODIUM_STATIC)
target_link_libraries(sodium INTERFACE "${SODIUM_ROOT}/lib/libsodium.a")
if(WIN32)
    target_link_libraries(sodium INTERFACE advapi32)  # RtlGenRandom, its random bytes
endif()
