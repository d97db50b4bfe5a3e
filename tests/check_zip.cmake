# Builds the Windows ZIP into OUT with CPack and checks what it holds: the
# program and the office's window as built, the packer, the web page
# template, and the README, still UTF-8 with BOM and CRLF line ends.
# cmake -DCPACK=<cpack> -DBUILD=<build folder> -DOUT=<scratch folder> -DPROGRAM=<Varnholt.exe>
#       -DOFFICE=<varnholt-office.exe>
#       -DPAGE=<the web page template> -DVERSION=<the project version> -P check_zip.cmake
file(REMOVE_RECURSE "${OUT}")
set(folder Varnholt-${VERSION}-win32)
execute_process(COMMAND "${CPACK}" -G ZIP --config "${BUILD}/CPackConfig.cmake" -B "${OUT}"
                RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
set(zip "${OUT}/${folder}.zip")
if(failed OR NOT EXISTS "${zip}")
    message(FATAL_ERROR "cpack made no ${zip}:\n${log}")
endif()

set(unpacked "${OUT}/unpacked")
file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${unpacked}")
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${unpacked}" "${unpacked}/*")
list(SORT found)
set(expected ${folder}/README.txt ${folder}/Varnholt.exe ${folder}/Varnholt.html ${folder}/varnholt-office.exe
             ${folder}/varnholt-pack.exe)
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "The ZIP holds\n  ${found}\nnot\n  ${expected}")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/same_files.cmake")
expect_same_files("${PROGRAM}" "${unpacked}/${folder}/Varnholt.exe"
                  "${OFFICE}" "${unpacked}/${folder}/varnholt-office.exe"
                  "${PAGE}" "${unpacked}/${folder}/Varnholt.html")

# Read as hex: a text read would drop the CRs.
file(READ "${unpacked}/${folder}/README.txt" text HEX)
if(NOT text MATCHES "^efbbbf")
    message(SEND_ERROR "README.txt does not start with the UTF-8 byte-order mark")
endif()
string(REGEX REPLACE ".." "\\0 " bytes "${text}")
if(bytes MATCHES "(^|([^0 ][^ ]|0[^d ]) )0a " OR NOT text MATCHES "0d0a$")
    message(SEND_ERROR "README.txt has a line not ended by CRLF")
endif()
