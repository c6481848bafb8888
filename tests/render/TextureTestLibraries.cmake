# Texture tests decode DXT levels with libsquish (libsquish-dev) and write
# pictures with stb_image_write (libstb-dev). The nvtt library carries a
# squish of its own under the same names, so the static libsquish is linked
# with its symbols kept out of the executable's exports: nvtt keeps calling
# its own copy, the tests theirs.
function(vu_texture_test_libraries target)
  find_file(SQUISH_ARCHIVE NAMES libsquish.a PATHS /usr/lib/x86_64-linux-gnu REQUIRED)
  # The archive is built with OpenMP (GCC's runtime).
  find_library(GOMP_LIBRARY NAMES gomp libgomp.so.1 REQUIRED)
  find_library(STB_TEST_LIBRARY NAMES stb REQUIRED)
  target_link_libraries(${target} PRIVATE ${SQUISH_ARCHIVE} ${GOMP_LIBRARY} ${STB_TEST_LIBRARY})
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,libsquish.a)
endfunction()
