# Runs one fuzz target: a fresh seed corpus, the files SEED_FILES names (a
# pattern) or those SEEDS writes (a program, into its SEEDS_FOLDER variable),
# then a bounded run. Any finding fails the test and leaves the input in WORK.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/findings)
if(SEEDS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SEEDS_FOLDER=${WORK}/corpus ${SEEDS} RESULT_VARIABLE made)
else()
  file(GLOB files ${SEED_FILES})
  file(COPY ${files} DESTINATION ${WORK}/corpus)
  set(made 0)
endif()
if(NOT made EQUAL 0)
  message(FATAL_ERROR "could not make the seed corpus (${made})")
endif()
file(GLOB seeds ${WORK}/corpus/*)
list(LENGTH seeds seed_count)
if(seed_count LESS 5)
  message(FATAL_ERROR "seed corpus has only ${seed_count} files")
endif()
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -rss_limit_mb=2048 -max_len=65536 -timeout=10
          -artifact_prefix=${WORK}/findings/ -print_final_stats=1 ${WORK}/corpus
  RESULT_VARIABLE fuzzed
  ERROR_VARIABLE log)
string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" runs "${log}")
message(STATUS "${runs}")
if(NOT fuzzed EQUAL 0)
  message("${log}")
  file(GLOB found ${WORK}/findings/*)
  message(FATAL_ERROR "the fuzzer stopped with ${fuzzed}; inputs: ${found}")
endif()
