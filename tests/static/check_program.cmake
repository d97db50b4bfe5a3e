# cmake -DPROGRAM=Varnholt.exe -DOBJDUMP=objdump -DSTRINGS=strings -DMAGIC=010b -DVERSION=<the project version>
#       [-DCONSOLE=ON] -P check_program.cmake
# The Windows program as its file stands, without running it: a GUI program
# (PE32, magic 010b; the 64-bit build PE32+, 020b) under 1.5 MiB that imports
# only DLLs shipping with Windows, with its icon and version record filed
# under Chinese (PRC), 0x0804, and the version strings, VERSION's. With
# CONSOLE, the packer: a console program of system DLLs only.
cmake_minimum_required(VERSION 3.25)
set(system_dlls advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll)
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()
if(NOT dump MATCHES "Magic[ \t]+${MAGIC}")
    message(FATAL_ERROR "${PROGRAM} has not the magic ${MAGIC} (010b: PE32, 020b: PE32+)")
endif()
if(CONSOLE AND NOT dump MATCHES "Subsystem[ \t]+00000003")
    message(FATAL_ERROR "${PROGRAM} is not a console program")
elseif(NOT CONSOLE AND NOT dump MATCHES "Subsystem[ \t]+00000002")
    message(FATAL_ERROR "${PROGRAM} is not a GUI program")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
    message(FATAL_ERROR "${PROGRAM} shows no imports")
endif()
foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST system_dlls)
        message(FATAL_ERROR "${PROGRAM} imports ${dll}, which does not ship with Windows")
    endif()
    message(STATUS "imports ${dll}")
endforeach()

if(CONSOLE)
    return()
endif()
file(SIZE "${PROGRAM}" size)
if(size GREATER 1572864)
    message(FATAL_ERROR "${PROGRAM} has ${size} bytes, more than 1.5 MiB")
endif()

# The resource directory: type, name and language tables, one line per entry.
string(FIND "${dump}" "The .rsrc Resource Directory" start)
if(start EQUAL -1)
    message(FATAL_ERROR "${PROGRAM} has no resources")
endif()
string(SUBSTRING "${dump}" ${start} -1 resources)
foreach(type 000003 00000e 000010)  # ICON, GROUP_ICON, VERSION
    if(NOT resources MATCHES "\n[0-9a-f]+   Entry: ID: 0x${type},")
        message(FATAL_ERROR "${PROGRAM} has no resource of type 0x${type}")
    endif()
endforeach()
string(REGEX MATCHALL "Language Table:[^\n]*\n[^\n]*Entry: ID: 0x[0-9a-f]+" languages "${resources}")
foreach(table IN LISTS languages)
    if(NOT table MATCHES "IDs: 1\n[^\n]*Entry: ID: 0x000804$")
        message(FATAL_ERROR "${PROGRAM} files a resource under a language other than 0x0804:\n${table}")
    endif()
endforeach()

execute_process(COMMAND "${STRINGS}" -el "${PROGRAM}" OUTPUT_VARIABLE texts)
string(CONCAT version "StringFileInfo\n080404B0\nFileVersion\n${VERSION}\nProductVersion\n${VERSION}\nProductName\nPeldrun\n"
                      "InternalName\nVarnholt\nOriginalFilename\nVarnholt.exe\nVarFileInfo\nTranslation\n")
string(FIND "${texts}" "${version}" found)
if(found EQUAL -1)
    message(FATAL_ERROR "${PROGRAM} lacks the version strings:\n${version}")
endif()
message(STATUS "${PROGRAM}: ${size} bytes")
