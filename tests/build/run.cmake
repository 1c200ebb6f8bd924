# Runs a command whose output matters only when it does not end as expected
# ("succeeds" or "fails"); the output is left in `output`, its blanks and
# line breaks made single blanks (CMake wraps its messages), for a closer look.
function(run expect)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  list(JOIN ARGN " " command)
  if(expect STREQUAL "succeeds" AND NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${command}\n${out}")
  elseif(expect STREQUAL "fails" AND result EQUAL 0)
    message(FATAL_ERROR "succeeded: ${command}\n${out}")
  endif()
  string(REGEX REPLACE "[ \n]+" " " out "${out}")
  set(output "${out}" PARENT_SCOPE)
endfunction()
