# Runs one language test script (cmake -P): compiles the test includes
# (test.gs; teststd.gs, whose natives need the standard libraries) and
# SCRIPT into WORK with GSBUILDLIB, runs it with GSRUN and checks:
# - standard output equals the script's "// expect: TEXT" lines, in order;
# - each "// expect runtime error: TEXT" is contained in a line of standard
#   error, in order;
# - the exit status is 1 when a runtime error is expected, else 0;
# - no script instance is left alive (gsrun reports any after the context
#   is destroyed).
# A "// run: CLASS SIGNATURE ARG..." line chooses the call (default: Main
# and "$void@Main::Run()"); "// pump: SECONDS STEP" pumps the router
# afterwards (gsrun --pump SECONDS --dt STEP); "// expect stderr: TEXT" is
# contained in a line of standard error, in order, without making an error
# of the run; "// runs: N" runs the script N times, each with the same
# output. The standard libraries of LIBRARIES (gs.gs) are compiled first; a
# "// root: standard" line runs the script with "--root ROOT", whose
# libraries/ holds them all compiled. Scripts run in WORK, where the files
# they write land: "// expect pixel: FILE X Y RRGGBBAA" checks a pixel of a
# PNG file written there and "// golden: FILE" compares its pixels with
# GOLDEN/FILE (both through PNGPROBE; VU_UPDATE_GOLDEN=1 rewrites goldens).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(source ${LIBRARIES}/gs.gs ${INCLUDE}/test.gs ${INCLUDE}/teststd.gs ${SCRIPT})
  execute_process(COMMAND ${GSBUILDLIB} -o ${WORK} -i ${INCLUDE} -i ${LIBRARIES} ${source}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${source} does not compile:\n${out}${err}")
  endif()
endforeach()

file(STRINGS ${SCRIPT} directives
     REGEX "^// (expect|expect runtime error|expect stderr|expect pixel|golden|run|pump|runs|root): ")
set(expected "")
set(errors "")
set(notes "")
set(pump "")
set(runs 1)
set(call Main "$void@Main::Run()")
set(root "")
set(pixels "")
set(goldens "")
foreach(line IN LISTS directives)
  if(line MATCHES "^// expect: (.*)$")
    string(APPEND expected "${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^// expect runtime error: (.*)$")
    list(APPEND errors "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^// expect pixel: ([^ ]+ [0-9]+ [0-9]+ [0-9A-F]+)$")
    list(APPEND pixels "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^// golden: ([^ ]+)$")
    list(APPEND goldens "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^// expect stderr: (.*)$")
    list(APPEND notes "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^// run: (.*)$")
    separate_arguments(call UNIX_COMMAND "${CMAKE_MATCH_1}")
  elseif(line STREQUAL "// root: standard")
    set(root --root ${ROOT})
  elseif(line MATCHES "^// pump: ([^ ]+) ([^ ]+)$")
    set(pump --pump ${CMAKE_MATCH_1} --dt ${CMAKE_MATCH_2})
  elseif(line MATCHES "^// runs: ([0-9]+)$")
    set(runs ${CMAKE_MATCH_1})
  endif()
endforeach()

get_filename_component(name ${SCRIPT} NAME_WE)
foreach(run RANGE 1 ${runs})
  execute_process(COMMAND ${GSRUN} ${root} --libs ${WORK} ${pump} ${WORK}/${name}.gsl ${call}
                  WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(report "status ${status}\n--- stdout\n${out}--- stderr\n${err}")
  if(run GREATER 1 AND NOT "${report}" STREQUAL "${first}")
    message(FATAL_ERROR "run ${run} differs from the first\n${first}\n--- run ${run}\n${report}")
  endif()
  set(first "${report}")
endforeach()
if(err MATCHES "script instances still alive")
  message(FATAL_ERROR "script instances leaked\n${report}")
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "standard output differs; expected:\n${expected}${report}")
endif()
set(rest "${err}")
foreach(text IN LISTS notes)
  string(FIND "${rest}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no standard error line with '${text}' (in order)\n${report}")
  endif()
  string(SUBSTRING "${rest}" ${at} -1 rest)
endforeach()
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
foreach(check IN LISTS pixels)
  separate_arguments(args UNIX_COMMAND "${check}")
  list(GET args 0 file)
  list(GET args 1 x)
  list(GET args 2 y)
  list(GET args 3 want)
  execute_process(COMMAND ${PNGPROBE} pixel ${WORK}/${file} ${x} ${y}
                  RESULT_VARIABLE status OUTPUT_VARIABLE got ERROR_VARIABLE err
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT got STREQUAL want)
    message(FATAL_ERROR "pixel (${x}, ${y}) of ${file} is '${got}', expected ${want} ${err}")
  endif()
endforeach()
foreach(file IN LISTS goldens)
  execute_process(COMMAND ${PNGPROBE} same ${WORK}/${file} ${GOLDEN}/${file}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${file} differs from its golden picture: ${out}${err}")
  endif()
endforeach()
