# Compiles every .gs source of SOURCES into WORK with GSBUILDLIB (cmake -P)
# and fails unless the compile succeeds without printing anything.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB sources ${SOURCES}/*.gs)
execute_process(COMMAND ${GSBUILDLIB} -o ${WORK} -i ${SOURCES} ${sources}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "status ${status}\n${out}${err}")
endif()
