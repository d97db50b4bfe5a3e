# The web page: the program compiled to WebAssembly (varnholt.js and
# varnholt.wasm), made into one self-contained HTML file (tools/web_page.py),
# whose roster element rosterc fills with ROSTER_FILE: build/web/varnholt.html,
# the page template varnholt-pack copies.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

target_link_options(varnholt PRIVATE
    # A warning's handler waits for the dialog to close (EM_ASYNC_JS). Asyncify
    # instruments every function that might reach a wait through an indirect
    # call; libsodium's never does, and left plain its key derivation runs
    # about twice as fast.
    -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
    "-sASYNCIFY_REMOVE=['crypto_*','argon2*','fill_*','blake2b*','sodium_*']"
    # Key derivation takes 64 MiB and more.
    -sALLOW_MEMORY_GROWTH=1
    # A page that reads no file; its WebAssembly compiled while the page
    # loads, so the form is in its first frame.
    -sENVIRONMENT=web -sFILESYSTEM=0 -sWASM_ASYNC_COMPILATION=0
    -sEXPORTED_RUNTIME_METHODS=ccall
    "--pre-js=${PROJECT_SOURCE_DIR}/form/web/toolkit.js")
set_property(TARGET varnholt APPEND PROPERTY LINK_DEPENDS "${PROJECT_SOURCE_DIR}/form/web/toolkit.js")

set(page_without_roster "${CMAKE_CURRENT_BINARY_DIR}/page-without-roster.html")
set(page "${CMAKE_CURRENT_BINARY_DIR}/varnholt.html")
add_custom_command(
    OUTPUT "${page_without_roster}"
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/web_page.py" "${PROJECT_SOURCE_DIR}/form/web/page.html"
            $<TARGET_FILE:varnholt> $<TARGET_FILE_DIR:varnholt>/varnholt.wasm
            "${PROJECT_SOURCE_DIR}/frame/varnholt.png" "${page_without_roster}"
    DEPENDS varnholt "${PROJECT_SOURCE_DIR}/form/web/page.html" "${PROJECT_SOURCE_DIR}/tools/web_page.py"
            "${PROJECT_SOURCE_DIR}/frame/varnholt.png"
    COMMENT "Making the page")
add_custom_command(
    OUTPUT "${page}"
    COMMAND ${ROSTERC} "${roster_path}" "${page}" --page "${page_without_roster}" ${protect_option}
    DEPENDS "${page_without_roster}" "${roster_path}"
    COMMENT "Putting the roster ${ROSTER_FILE} into the page")
add_custom_target(page ALL DEPENDS "${page}")
