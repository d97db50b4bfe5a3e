# expect_same_files(FROM TO ...): each pair of files must hold the same bytes;
# a pair that differs is an error named after both, and the check goes on.
function(expect_same_files)
    while(ARGN)
        list(POP_FRONT ARGN from to)
        execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${from}" "${to}" RESULT_VARIABLE differs)
        if(differs)
            message(SEND_ERROR "${to} differs from ${from}")
        endif()
    endwhile()
endfunction()
