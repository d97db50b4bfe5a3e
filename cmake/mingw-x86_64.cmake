# The same sources as a 64-bit Windows program (preset windows64), tested
# under wine64 where the machine cannot run the 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
