# cmake -DROSTERC=... -DINPUT=... -DEXPECT=... -P rosterc_refuses.cmake
cmake_minimum_required(VERSION 3.25)
# Runs rosterc on a malformed data set and checks that it fails with the
# expected message and leaves no output behind.
set(output "${CMAKE_CURRENT_BINARY_DIR}/refused_roster_data.cpp")
file(REMOVE "${output}")
execute_process(COMMAND "${ROSTERC}" "${INPUT}" "${output}"
                RESULT_VARIABLE status ERROR_VARIABLE message OUTPUT_VARIABLE out)
if(status EQUAL 0)
    message(FATAL_ERROR "rosterc accepted ${INPUT}")
endif()
string(FIND "${message}" "${EXPECT}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "rosterc said:\n${message}\nexpected:\n${EXPECT}")
endif()
if(EXISTS "${output}" OR EXISTS "${output}.partial")
    message(FATAL_ERROR "rosterc wrote ${output} for a refused data set")
endif()
