# The target `workbook`: zlib's minizip and expat, with which the roster
# reader opens workbooks (.xlsx), and FreeXL, with which it reads Excel
# 97-2003 workbooks (.xls). Only the reader links it, never the program.
# Linux: Debian's libminizip-dev, libexpat1-dev and libfreexl-dev, found with
# pkg-config. Windows: static libraries tools/build-lib.sh builds from
# Debian's source packages into build/<library>/<triplet> (FreeXL with the
# iconv of build/iconv/<triplet>), and zlib from Debian's libz-mingw-w64-dev.
add_library(workbook INTERFACE)
if(WIN32)
    set(workbook_triplet "${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")
    foreach(library minizip expat freexl iconv)
        set(root "${PROJECT_SOURCE_DIR}/build/${library}/${workbook_triplet}")
        if(NOT EXISTS "${root}/lib/lib${library}.a")
            message(FATAL_ERROR "${library} for ${workbook_triplet} is missing in ${root}: `make windows` builds it, "
                                "or run tools/build-lib.sh ${library} ${workbook_triplet}")
        endif()
        target_include_directories(workbook INTERFACE "${root}/include")
        target_link_libraries(workbook INTERFACE "${root}/lib/lib${library}.a")
    endforeach()
    find_library(MINGW_ZLIB libz.a REQUIRED)  # libz-mingw-w64-dev
    target_link_libraries(workbook INTERFACE "${MINGW_ZLIB}")
    target_compile_definitions(workbook INTERFACE XML_STATIC)
    target_link_libraries(workbook INTERFACE m)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(minizip REQUIRED IMPORTED_TARGET minizip)
    pkg_check_modules(expat REQUIRED IMPORTED_TARGET expat)
    pkg_check_modules(freexl REQUIRED IMPORTED_TARGET freexl)
    target_link_libraries(workbook INTERFACE PkgConfig::minizip PkgConfig::expat PkgConfig::freexl)
endif()
