# Runs one language test script (cmake -P): compiles the test include and
# SCRIPT into WORK with GSBUILDLIB, runs it with GSRUN and checks:
# - standard output equals the script's "// expect: TEXT" lines, in order;
# - each "// expect runtime error: TEXT" is contained in a line of standard
#   error, in order;
# - the exit status is 1 when a runtime error is expected, else 0;
# - no script instance is left alive (gsrun reports any after the context
#   is destroyed).
# A "// run: CLASS SIGNATURE ARG..." line chooses the call (default: Main
# and "$void@Main::Run()"). Scripts may include the standard script
# libraries (LIBRARIES); a "// root: standard" line runs the script with
# "--root ROOT", whose libraries/ holds them compiled.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(source ${INCLUDE}/test.gs ${SCRIPT})
  execute_process(COMMAND ${GSBUILDLIB} -o ${WORK} -i ${INCLUDE} -i ${LIBRARIES} ${source}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${source} does not compile:\n${out}${err}")
  endif()
endforeach()

file(STRINGS ${SCRIPT} directives REGEX "^// (expect|expect runtime error|run|root): ")
set(expected "")
set(errors "")
set(call Main "$void@Main::Run()")
set(root "")
foreach(line IN LISTS directives)
  if(line MATCHES "^// expect: (.*)$")
    string(APPEND expected "${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^// expect runtime error: (.*)$")
    list(APPEND errors "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^// run: (.*)$")
    separate_arguments(call UNIX_COMMAND "${CMAKE_MATCH_1}")
  elseif(line STREQUAL "// root: standard")
    set(root --root ${ROOT})
  endif()
endforeach()

get_filename_component(name ${SCRIPT} NAME_WE)
execute_process(COMMAND ${GSRUN} ${root} --libs ${WORK} ${WORK}/${name}.gsl ${call}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(report "status ${status}\n--- stdout\n${out}--- stderr\n${err}")
if(err MATCHES "script instances still alive")
  message(FATAL_ERROR "script instances leaked\n${report}")
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "standard output differs; expected:\n${expected}${report}")
endif()
set(rest "${err}")
foreach(text IN LISTS errors)
  string(FIND "${rest}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no error line with '${text}' (in order)\n${report}")
  endif()
  string(SUBSTRING "${rest}" ${at} -1 rest)
endforeach()
set(want 0)
if(errors)
  set(want 1)
endif()
if(NOT status EQUAL want)
  message(FATAL_ERROR "exit status ${status}, expected ${want}\n${report}")
endif()
