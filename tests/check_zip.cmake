# Builds the Windows ZIP into OUT with CPack and checks what it holds: the
# program as built, the packer, the web page template, and the README, still
# UTF-8 with BOM and CRLF line ends.
# cmake -DCPACK=<cpack> -DBUILD=<build folder> -DOUT=<scratch folder> -DPROGRAM=<Varnholt.exe>
#       -DPAGE=<the web page template> -P check_zip.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CPACK}" -G ZIP --config "${BUILD}/CPackConfig.cmake" -B "${OUT}"
                RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
set(zip "${OUT}/Varnholt-1.00-win32.zip")
if(failed OR NOT EXISTS "${zip}")
    message(FATAL_ERROR "cpack made no ${zip}:\n${log}")
endif()

set(unpacked "${OUT}/unpacked")
file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${unpacked}")
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${unpacked}" "${unpacked}/*")
list(SORT found)
set(expected Varnholt-1.00-win32/README.txt Varnholt-1.00-win32/Varnholt.exe Varnholt-1.00-win32/Varnholt.html
             Varnholt-1.00-win32/varnholt-pack.exe)
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "The ZIP holds\n  ${found}\nnot\n  ${expected}")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/same_files.cmake")
expect_same_files("${PROGRAM}" "${unpacked}/Varnholt-1.00-win32/Varnholt.exe"
                  "${PAGE}" "${unpacked}/Varnholt-1.00-win32/Varnholt.html")

# Read as hex: a text read would drop the CRs.
file(READ "${unpacked}/Varnholt-1.00-win32/README.txt" text HEX)
if(NOT text MATCHES "^efbbbf")
    message(SEND_ERROR "README.txt does not start with the UTF-8 byte-order mark")
endif()
string(REGEX REPLACE ".." "\\0 " bytes "${text}")
if(bytes MATCHES "(^|([^0 ][^ ]|0[^d ]) )0a " OR NOT text MATCHES "0d0a$")
    message(SEND_ERROR "README.txt has a line not ended by CRLF")
endif()
