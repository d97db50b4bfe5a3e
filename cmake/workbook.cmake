# The target `workbook`: zlib's minizip and expat, with which the roster
# reader opens workbooks (.xlsx), and FreeXL, with which it reads Excel
# 97-2003 workbooks (.xls). Only the reader links it, never the program.
# FreeXL everywhere: the static library tools/build-lib.sh builds from
# Debian's source package with the bounds checks of tools/patches/ into
# build/freexl/<triplet> (`make` builds it; on Windows over the iconv of
# build/iconv/<triplet>). Linux: Debian's libminizip-dev and libexpat1-dev,
# found with pkg-config. Windows: minizip and expat built by
# tools/build-lib.sh too, and zlib from Debian's libz-mingw-w64-dev.
add_library(workbook INTERFACE)
if(WIN32)
    set(workbook_triplet "${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")
    set(workbook_libraries minizip expat freexl iconv)
else()
    set(workbook_triplet "${CMAKE_LIBRARY_ARCHITECTURE}")
    if(VARNHOLT_FUZZ)  # FreeXL instrumented as the fuzzers are (tools/build-lib.sh freexl fuzz)
        string(APPEND workbook_triplet "-fuzz")
    endif()
    set(workbook_libraries freexl)
endif()
foreach(library IN LISTS workbook_libraries)
    built_library(root ${library} "${workbook_triplet}" lib${library}.a)
    target_include_directories(workbook INTERFACE "${root}/include")
    target_link_libraries(workbook INTERFACE "${root}/lib/lib${library}.a")
endforeach()
if(WIN32)
    find_library(MINGW_ZLIB libz.a REQUIRED)  # libz-mingw-w64-dev
    target_link_libraries(workbook INTERFACE "${MINGW_ZLIB}")
    target_compile_definitions(workbook INTERFACE XML_STATIC)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(minizip REQUIRED IMPORTED_TARGET minizip)
    pkg_check_modules(expat REQUIRED IMPORTED_TARGET expat)
    target_link_libraries(workbook INTERFACE PkgConfig::minizip PkgConfig::expat)
endif()
target_link_libraries(workbook INTERFACE m)
