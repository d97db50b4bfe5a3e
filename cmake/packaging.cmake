# Installation and packages. Linux: the program with its desktop entry, icons
# and AppStream metadata, the packer and the web page template, packed by
# CPack as a Debian package, with the office's window and its desktop entry. Windows: the one program file, the packer, the
# web page template and a README, packed as a ZIP.
set(VARNHOLT_APP_ID io.github.brenmoor.varnholt)

set(CPACK_PACKAGE_NAME varnholt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Brenmoor)
set(CPACK_PACKAGE_CONTACT "Brenmoor <brenmoor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "written-examination score query")
set(CPACK_PACKAGE_DESCRIPTION [[
A candidate types an admission-ticket number and an identity-card number
and sees their name and written-examination score. The roster of
candidates is part of the program file: it reads no file, database
or network.]])

if(WIN32)
    # Varnholt.exe as built and tested; the linker has stripped it already.
    install(TARGETS varnholt varnholt-pack varnholt-office RUNTIME DESTINATION .)
    install(FILES "${VARNHOLT_PAGE}" DESTINATION . RENAME Varnholt.html)
    # Its version from the project line; UTF-8 with BOM and CRLF line ends, as the template.
    configure_file("${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in"
                   "${PROJECT_BINARY_DIR}/packaging/README-windows.txt" @ONLY NEWLINE_STYLE CRLF)
    install(FILES "${PROJECT_BINARY_DIR}/packaging/README-windows.txt" DESTINATION . RENAME README.txt)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME Varnholt-${PROJECT_VERSION}-win32)
else()
    include(GNUInstallDirs)
    set(share "${CMAKE_INSTALL_DATADIR}")
    install(TARGETS varnholt varnholt-pack varnholt-office RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    # Where varnholt-pack --web looks for it: ../share/varnholt beside the tool.
    install(FILES "${VARNHOLT_PAGE}" DESTINATION "${share}/varnholt")
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/varnholt.desktop" DESTINATION "${share}/applications")
    # The office's window, under a name of its own.
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/varnholt-office.desktop" DESTINATION "${share}/applications")
    install(FILES "${PROJECT_SOURCE_DIR}/frame/varnholt.png" DESTINATION "${share}/icons/hicolor/32x32/apps")
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/varnholt-64.png"
            DESTINATION "${share}/icons/hicolor/64x64/apps" RENAME varnholt.png)
    # Its version from the project line. AppStream wants the file named after
    # the component id.
    configure_file("${PROJECT_SOURCE_DIR}/packaging/varnholt.metainfo.xml.in"
                   "${PROJECT_BINARY_DIR}/packaging/varnholt.metainfo.xml" @ONLY)
    install(FILES "${PROJECT_BINARY_DIR}/packaging/varnholt.metainfo.xml"
            DESTINATION "${share}/metainfo" RENAME ${VARNHOLT_APP_ID}.metainfo.xml)

    set(CPACK_GENERATOR DEB)
    set(CPACK_STRIP_FILES ON)  # the build keeps its debugging information
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # varnholt_<version>_<arch>.deb
    set(CPACK_DEBIAN_PACKAGE_SECTION education)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # dpkg-shlibdeps finds the Qt 6, C++ and C libraries the program links.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The Song-style CJK face the form draws with: without it every caption is
    # boxes. Qt's own texts in Chinese (the message box's button, the edit
    # boxes' context menu) are compiled into the program.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
    # varnholt-pack --sign signs a Windows program through it.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "osslsigncode")
endif()

include(CPack)
