# Runs one language test script (cmake -P): compiles the test include and
# SCRIPT into WORK with GSBUILDLIB, runs it with GSRUN and checks:
# - standard output equals the script's "// expect: TEXT" lines, in order;
# - each "// expect runtime error: TEXT" is contained in a line of standard
#   error, in order;
# - the exit status is 1 when a runtime error is expected, else 0;
# - no script instance is left alive (gsrun reports any after the context
#   is destroyed).
# A "// run: CLASS SIGNATURE ARG..." line chooses the call (default: Main
# and "$void@Main::Run()").
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(source ${INCLUDE}/test.gs ${SCRIPT})
  execute_process(COMMAND ${GSBUILDLIB} -o ${WORK} -i ${INCLUDE} ${source}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${source} does not compile:\n${out}${err}")
  endif()
endforeach()

file(STRINGS ${SCRIPT} directives REGEX "^// (expect|expect runtime error|run): ")
set(expected "")
set(errors "")
set(call Main "$void@Main::Run()")
foreach(line IN LISTS directives)
  if(line MATCHES "^// expect: (.*)$")
    string(APPEND expected "${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^// expect runtime error: (.*)$")
    list(APPEND errors "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^// run: (.*)$")
    separate_arguments(call UNIX_COMMAND "${CMAKE_MATCH_1}")
  endif()
endforeach()

get_filename_component(name ${SCRIPT} NAME_WE)
execute_process(COMMAND ${GSRUN} --libs ${WORK} ${WORK}/${name}.gsl ${call}
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
