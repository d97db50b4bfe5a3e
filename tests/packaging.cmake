# The desktop integration files and the packages built from them
# (cmake/packaging.cmake).
set(packaging "${PROJECT_SOURCE_DIR}/packaging")
set(package_out "${CMAKE_CURRENT_BINARY_DIR}/package")

if(WIN32)
    # The ZIP holds the program, the office's window and the README, which keeps its BOM and CRLFs.
    add_test(NAME packaging.windowsZip
             COMMAND "${CMAKE_COMMAND}" -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD=${CMAKE_BINARY_DIR}
                     -DOUT=${package_out} -DPROGRAM=$<TARGET_FILE:varnholt>
                     -DOFFICE=$<TARGET_FILE:varnholt-office> -DPAGE=${VARNHOLT_PAGE}
                     -DVERSION=${PROJECT_VERSION}
                     -P "${CMAKE_CURRENT_SOURCE_DIR}/check_zip.cmake")
    return()
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)

# desktop-file-validate fails on errors only; its warnings count here too.
add_test(NAME packaging.desktopEntryIsValid
         COMMAND ${DESKTOP_FILE_VALIDATE} "${packaging}/varnholt.desktop" "${packaging}/varnholt-office.desktop")
set_tests_properties(packaging.desktopEntryIsValid PROPERTIES FAIL_REGULAR_EXPRESSION "error|warning")
add_test(NAME packaging.metainfoIsValid
         COMMAND ${APPSTREAMCLI} validate --no-net --pedantic --explain
                 "${PROJECT_BINARY_DIR}/packaging/varnholt.metainfo.xml")

# CPack builds the Debian package; its control fields and files are checked
# and it is unpacked, and AppStream checks the unpacked tree as a whole: the
# metainfo file's name, the desktop entry it launches.
add_test(NAME packaging.debianPackage
         COMMAND "${CMAKE_COMMAND}" -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD=${CMAKE_BINARY_DIR}
                 -DOUT=${package_out} -DSOURCE=${PROJECT_SOURCE_DIR} -DPAGE=${VARNHOLT_PAGE}
                 -DVERSION=${PROJECT_VERSION}
                 -P "${CMAKE_CURRENT_SOURCE_DIR}/check_deb.cmake")
add_test(NAME packaging.unpackedPackageIsValid
         COMMAND ${APPSTREAMCLI} validate-tree --no-net --pedantic --explain "${package_out}/root")
set_tests_properties(packaging.debianPackage PROPERTIES FIXTURES_SETUP debian_package TIMEOUT 300)
set_tests_properties(packaging.unpackedPackageIsValid PROPERTIES FIXTURES_REQUIRED debian_package)
