# Compiles SOURCE against the include view of ALLOWED, which must build, and of DENIED,
# which must fail on the include itself (not on anything else).
# Run as: cmake -DCXX=... -DVIEWS=... -DSOURCE=... -DALLOWED=... -DDENIED=... -DHEADER=... -P
function(compile View Result Output)
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -I${VIEWS}/${View} ${SOURCE}
                  RESULT_VARIABLE R ERROR_VARIABLE E OUTPUT_QUIET)
  set(${Result} ${R} PARENT_SCOPE)
  set(${Output} "${E}" PARENT_SCOPE)
endfunction()

compile(${ALLOWED} R E)
if(NOT R EQUAL 0)
  message(FATAL_ERROR "${SOURCE} does not build in the ${ALLOWED} layer:\n${E}")
endif()
compile(${DENIED} R E)
if(R EQUAL 0)
  message(FATAL_ERROR "the ${DENIED} layer may include ${HEADER}, against the arrows")
endif()
string(FIND "${E}" "${HEADER}: No such file" At)
if(At EQUAL -1)
  message(FATAL_ERROR "${SOURCE} failed in the ${DENIED} layer for another reason:\n${E}")
endif()
