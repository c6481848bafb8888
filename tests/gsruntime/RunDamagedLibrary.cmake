# Runs Main::Run() of FOLDER/objects.gsl (a damaged library) with gsrun,
# the libraries of LIBS beside it (cmake -P). The library must be refused
# (exit 2) or the run must stop in a script error (exit 1); anything else,
# a crash above all, fails the test.
execute_process(COMMAND ${GSRUN} --libs ${LIBS} --libs ${FOLDER} ${FOLDER}/objects.gsl Main
                        "$void@Main::Run()"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status MATCHES "^[12]$")
  message(FATAL_ERROR "gsrun ended with '${status}' instead of a refusal or a script error:\n${out}${err}")
endif()
message(STATUS "exit ${status}: ${err}")
