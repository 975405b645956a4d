# Fuzzing the picture loader: a libFuzzer program built with clang when clang
# can build one, run for a bounded time as a test; skipped, not failed,
# where it cannot be built.
set(FUZZ_SECONDS 20 CACHE STRING "How long the loader's fuzz test runs")
set(fuzz_dir ${CMAKE_CURRENT_LIST_DIR})
set(fuzz_work ${CMAKE_BINARY_DIR}/fuzz)

find_program(FUZZ_CLANGXX NAMES clang++ clang++-14)
set(fuzz_usable FALSE)
if(FUZZ_CLANGXX)
  # A trivial fuzz target proves the compiler has the fuzzer and sanitizer runtimes.
  set(probe ${fuzz_work}/probe)
  file(MAKE_DIRECTORY ${probe})
  file(WRITE ${probe}/probe.cpp
    "#include <cstddef>\n#include <cstdint>\nextern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n")
  execute_process(
    COMMAND ${FUZZ_CLANGXX} -fsanitize=fuzzer,address,undefined ${probe}/probe.cpp -o ${probe}/probe
    RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
  if(probe_result EQUAL 0)
    set(fuzz_usable TRUE)
  endif()
endif()

if(fuzz_usable)
  include(ExternalProject)
  ExternalProject_Add(picture_loader_fuzz
    SOURCE_DIR ${fuzz_dir}
    BINARY_DIR ${fuzz_work}/build
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${FUZZ_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
               -DSELECTION_IMAGE_ROOT=${PROJECT_SOURCE_DIR} -DCMAKE_PREFIX_PATH=${CMAKE_PREFIX_PATH}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  add_test(NAME fuzz_decode_picture
    COMMAND ${CMAKE_COMMAND} -DFUZZER=${fuzz_work}/build/fuzz_decode_picture -DWORK=${fuzz_work}/run
            -DSECONDS=${FUZZ_SECONDS} -P ${fuzz_dir}/run_fuzz.cmake)
  set_tests_properties(fuzz_decode_picture PROPERTIES
    ENVIRONMENT "${TEST_ENVIRONMENT}" TIMEOUT 300 LABELS fuzz)
else()
  message(STATUS "Loader fuzz test skipped: no clang++ able to build a libFuzzer program")
  add_test(NAME fuzz_decode_picture
    COMMAND ${CMAKE_COMMAND} -E echo "skipped: no clang++ with libFuzzer and sanitizers")
  set_tests_properties(fuzz_decode_picture PROPERTIES
    SKIP_REGULAR_EXPRESSION "skipped:" LABELS fuzz)
endif()
