# Compiles a one-line file that includes HEADER, seeing only the include
# roots ROOTS (a |-separated list), and checks that it builds when EXPECT
# is "builds" and fails for want of the header when EXPECT is "refused".
# Run with cmake -P.
string(REPLACE "|" ";" roots "${ROOTS}")
set(include_flags)
foreach(root ${roots})
  list(APPEND include_flags "-I${root}")
endforeach()
set(probe "${WORK_DIR}/probe.cpp")
file(WRITE ${probe} "#include \"${HEADER}\"\n")
execute_process(COMMAND ${COMPILER} -std=c++20 -fsyntax-only ${include_flags} ${EXTRA_FLAGS} ${probe}
  RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
if(EXPECT STREQUAL "builds")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${HEADER} should build with ${ROOTS}:\n${errors}")
  endif()
elseif(EXPECT STREQUAL "refused")
  if(result EQUAL 0)
    message(FATAL_ERROR "${HEADER} built with only ${ROOTS}; an upward include must fail")
  endif()
  if(NOT errors MATCHES "No such file")
    message(FATAL_ERROR "${HEADER} failed for another reason than a missing header:\n${errors}")
  endif()
else()
  message(FATAL_ERROR "EXPECT must be builds or refused")
endif()
