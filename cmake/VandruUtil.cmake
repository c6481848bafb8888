# Shared compile settings and the helpers every folder uses.

set(VU_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Wunused -Woverloaded-virtual
    -Wimplicit-fallthrough)
if(VU_WERROR)
  list(APPEND VU_WARNINGS -Werror)
endif()

if(VU_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # Line tables are all a sanitizer report needs; full debug information
  # would make each program several times larger, and the end-to-end tests
  # place the programs in every scratch root they lay out.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-gline-tables-only)
  endif()
endif()

# In the fuzzing tree every library carries coverage instrumentation, so the
# fuzz targets are guided by the code they exercise.
if(VU_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_package(Threads REQUIRED)

# Programs load only the shared libraries they use: a library named on the
# link line that no object needs is left out of the program's needs, so
# each start maps and relocates less.
add_link_options(LINKER:--as-needed)

# vu_library(<name> [DEPS <targets>...])
# One static library per folder: every .cpp in the calling folder.
function(vu_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${VU_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# vu_module(<name> SOURCE <file> FOR <library> [LIBS <libraries>...])
# One of the tool's shared modules, lib<name>.so (foundation/layout/
# ProgramModule.h): built from SOURCE into <build>/modules, where programs
# run from the build find it, linked with LIBS, exporting only what it marks
# visible, built whenever FOR is, and installed beside the tool in bin/.
function(vu_module name)
  cmake_parse_arguments(ARG "" "SOURCE;FOR" "LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCE})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${VU_WARNINGS} -fvisibility=hidden)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "lib" OUTPUT_NAME ${name}
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/modules)
  add_dependencies(${ARG_FOR} ${name})
  install(TARGETS ${name} LIBRARY DESTINATION bin)
endfunction()

# vu_test(<name> [DEPS <targets>...])
# One GoogleTest binary per test folder: every .cpp in the calling folder.
function(vu_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${VU_WARNINGS})
  # Tests find their data under the source tree through VU_SOURCE_DIR, never
  # through __FILE__ (a compiler cache may make that path relative).
  target_compile_definitions(${name} PRIVATE VU_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main
                        GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()
