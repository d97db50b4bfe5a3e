# Builds the Debian package into OUT with CPack, checks its control fields and
# file list, and unpacks it into OUT/root, where its packer makes a web page
# from the page template it finds installed.
# cmake -DCPACK=<cpack> -DBUILD=<build folder> -DOUT=<scratch folder> -DSOURCE=<source folder>
#       -DPAGE=<the web page template> -DVERSION=<the project version> -P check_deb.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CPACK}" -G DEB --config "${BUILD}/CPackConfig.cmake" -B "${OUT}"
                RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB deb "${OUT}/varnholt_${VERSION}_*.deb")
if(failed OR NOT deb)
    message(FATAL_ERROR "cpack made no package:\n${log}")
endif()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed)
        message(FATAL_ERROR "${ARGN} failed:\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

string(REPLACE "." "\\." version "${VERSION}")
run(dpkg --print-architecture)
set(arch "${out}")
foreach(check IN ITEMS
        "Package=^varnholt$"
        "Version=^${version}$"
        "Architecture=^${arch}$"
        "Maintainer=^Brenmoor <[^ >]+@[^ >]+>$"
        "Section=^education$"
        "Depends=(^|, )libqt6widgets6(t64)? \\(>= 6"
        "Depends=(^|, )libqt6gui6(t64)? "
        "Depends=(^|, )libqt6core6(t64)? "
        "Depends=(^|, )libc6 "
        "Depends=(^|, )fonts-noto-cjk(,|$)"
        "Recommends=^osslsigncode$"
        "Description=^written-examination score query\n .*roster")
    string(REGEX REPLACE "=.*" "" field "${check}")
    string(REGEX REPLACE "^[^=]*=" "" pattern "${check}")
    run(dpkg-deb -f "${deb}" ${field})
    if(NOT out MATCHES "${pattern}")
        message(SEND_ERROR "${field}: \"${out}\" does not match ${pattern}")
    endif()
endforeach()
# The packer links FreeXL statically, patched (tools/patches/).
run(dpkg-deb -f "${deb}" Depends)
if(out MATCHES "freexl")
    message(SEND_ERROR "Depends: \"${out}\" names FreeXL, which the packer links statically")
endif()

# Owned by root; only the program, the packer and the office's window are executable.
set(files
    usr/bin/varnholt
    usr/bin/varnholt-office
    usr/bin/varnholt-pack
    usr/share/applications/varnholt-office.desktop
    usr/share/applications/varnholt.desktop
    usr/share/icons/hicolor/32x32/apps/varnholt.png
    usr/share/icons/hicolor/64x64/apps/varnholt.png
    usr/share/metainfo/io.github.brenmoor.varnholt.metainfo.xml
    usr/share/varnholt/varnholt.html)
run(dpkg-deb -c "${deb}")
foreach(file IN LISTS files)
    set(mode -rw-r--r--)
    if(file MATCHES "^usr/bin/")
        set(mode -rwxr-xr-x)
    endif()
    string(REPLACE "." "\\." pattern "${file}")
    if(NOT out MATCHES "${mode} root/root [^\n]* \\./${pattern}(\n|$)")
        message(SEND_ERROR "dpkg-deb -c lists no ${mode} root/root ./${file}:\n${out}")
    endif()
endforeach()

# Unpacked, it holds exactly these files, the data files as in the sources.
run(dpkg -x "${deb}" "${OUT}/root")
file(GLOB_RECURSE unpacked LIST_DIRECTORIES false RELATIVE "${OUT}/root" "${OUT}/root/*")
list(SORT unpacked)
if(NOT unpacked STREQUAL files)
    message(SEND_ERROR "The package holds\n  ${unpacked}\nnot\n  ${files}")
endif()
include("${CMAKE_CURRENT_LIST_DIR}/same_files.cmake")
expect_same_files(
    "${SOURCE}/packaging/varnholt.desktop" "${OUT}/root/usr/share/applications/varnholt.desktop"
    "${SOURCE}/packaging/varnholt-office.desktop" "${OUT}/root/usr/share/applications/varnholt-office.desktop"
    "${SOURCE}/frame/varnholt.png" "${OUT}/root/usr/share/icons/hicolor/32x32/apps/varnholt.png"
    "${SOURCE}/packaging/varnholt-64.png" "${OUT}/root/usr/share/icons/hicolor/64x64/apps/varnholt.png"
    "${BUILD}/packaging/varnholt.metainfo.xml"
    "${OUT}/root/usr/share/metainfo/io.github.brenmoor.varnholt.metainfo.xml"
    "${PAGE}" "${OUT}/root/usr/share/varnholt/varnholt.html")
run("${OUT}/root/usr/bin/varnholt-pack" "${SOURCE}/roster/roster.tsv" --web --no-protect -o "${OUT}/page.html")
message(STATUS "${deb}: ${unpacked}")
