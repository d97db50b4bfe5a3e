# Builds the Windows ZIP into OUT with CPack and checks what it holds: the
# program and the README, still UTF-8 with BOM and CRLF line ends.
# cmake -DCPACK=<cpack> -DBUILD=<build folder> -DOUT=<scratch folder> -P check_zip.cmake
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
set(expected Varnholt-1.00-win32/README.txt Varnholt-1.00-win32/Varnholt.exe)
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "The ZIP holds\n  ${found}\nnot\n  ${expected}")
endif()

file(READ "${unpacked}/Varnholt-1.00-win32/Varnholt.exe" magic LIMIT 2)
if(NOT magic STREQUAL "MZ")
    message(SEND_ERROR "Varnholt.exe is no Windows program")
endif()
file(READ "${unpacked}/Varnholt-1.00-win32/README.txt" bom LIMIT 3 HEX)
file(READ "${unpacked}/Varnholt-1.00-win32/README.txt" text)
if(NOT bom STREQUAL "efbbbf")
    message(SEND_ERROR "README.txt does not start with the UTF-8 byte-order mark")
endif()
if(text MATCHES "(^|[^\r])\n" OR NOT text MATCHES "\r\n$")
    message(SEND_ERROR "README.txt has a line not ended by CRLF")
endif()
