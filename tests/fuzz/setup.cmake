# Fuzzing the picture loader and the DICOM helper's reading: libFuzzer
# programs built with clang when clang can build one, each run for a bounded
# time as a test; skipped, not failed, where they cannot be built.
# The two share the time, so that fuzzing adds no more to the suite's time
# than one target did.
set(FUZZ_SECONDS 20 CACHE STRING "How long the fuzz tests run, shared between the fuzz targets")
math(EXPR fuzz_seconds_each "(${FUZZ_SECONDS} + 1) / 2")
set(fuzz_targets fuzz_decode_picture fuzz_dicom_helper)
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
  # The DICOM tests write the helper's seeds: their own files, one per way
  # of storing a picture.
  set(fuzz_dicom_helper_SEEDS "-DSEEDS=$<TARGET_FILE:dicom_tests>;--gtest_filter=DicomSeeds.*")
  set(fuzz_decode_picture_SEEDS "-DSEED_FILES=${PROJECT_SOURCE_DIR}/tests/data/bmpsuite/[ge]*/*")
  foreach(target ${fuzz_targets})
    add_test(NAME ${target}
      COMMAND ${CMAKE_COMMAND} -DFUZZER=${fuzz_work}/build/${target} -DWORK=${fuzz_work}/run/${target}
              -DSECONDS=${fuzz_seconds_each} ${${target}_SEEDS} -P ${fuzz_dir}/run_fuzz.cmake)
    set_tests_properties(${target} PROPERTIES
      ENVIRONMENT "${TEST_ENVIRONMENT}" TIMEOUT 300 LABELS fuzz)
  endforeach()
else()
  message(STATUS "Fuzz tests skipped: no clang++ able to build a libFuzzer program")
  foreach(target ${fuzz_targets})
    add_test(NAME ${target}
      COMMAND ${CMAKE_COMMAND} -E echo "skipped: no clang++ with libFuzzer and sanitizers")
    set_tests_properties(${target} PROPERTIES
      SKIP_REGULAR_EXPRESSION "skipped:" LABELS fuzz)
  endforeach()
endif()
