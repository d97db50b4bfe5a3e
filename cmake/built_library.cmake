# built_library(VARIABLE LIBRARY TRIPLET FILE): VARIABLE set to
# build/LIBRARY/TRIPLET, where tools/build-lib.sh builds LIBRARY from
# Debian's source for TRIPLET, which must hold lib/FILE by now.
function(built_library variable library triplet file)
    set(root "${PROJECT_SOURCE_DIR}/build/${library}/${triplet}")
    if(NOT EXISTS "${root}/lib/${file}")
        message(FATAL_ERROR "${library} for ${triplet} is missing in ${root}: the Makefile's rules make it "
                            "(`make`, `make windows`, `make web`), or run tools/build-lib.sh ${library} ${triplet}")
    endif()
    set(${variable} "${root}" PARENT_SCOPE)
endfunction()
