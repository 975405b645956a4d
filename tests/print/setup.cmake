# The printing tests' print system: a private scheduler started for the test
# run (cups_fixture.sh), whose default queue writes PDF files. Only the program
# below uses it; print_tests draws pages into images, without a printer.
# The scheduler's folder is made afresh by each start, outside the build
# folder; this file of the build folder names it, so that builds side by side
# each have their own.
set(PRINT_CUPS_POINTER ${CMAKE_BINARY_DIR}/cups-fixture-folder)
set(PRINT_CUPS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/cups_fixture.sh)

add_test(NAME print.cups_start COMMAND sh ${PRINT_CUPS_SCRIPT} start ${PRINT_CUPS_POINTER})
set_tests_properties(print.cups_start PROPERTIES FIXTURES_SETUP cups RESOURCE_LOCK cups)
add_test(NAME print.cups_stop COMMAND sh ${PRINT_CUPS_SCRIPT} stop ${PRINT_CUPS_POINTER})
set_tests_properties(print.cups_stop PROPERTIES FIXTURES_CLEANUP cups RESOURCE_LOCK cups)

file(GLOB print_real_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/real_printer/*.cpp)
add_executable(print_real_printer_tests ${print_real_sources})
target_include_directories(print_real_printer_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(print_real_printer_tests PRIVATE print Qt6::PrintSupport test_support)
selection_image_target(print_real_printer_tests)

# The default queue and a scheduler that does not answer need two runs of the
# program, each with its own CUPS_SERVER, both set by the script from the folder.
add_test(NAME print.real_default_printer COMMAND sh ${PRINT_CUPS_SCRIPT} run ${PRINT_CUPS_POINTER} cups.sock
  $<TARGET_FILE:print_real_printer_tests> --gtest_filter=RealDefaultPrinter.*)
set_tests_properties(print.real_default_printer PROPERTIES
  FIXTURES_REQUIRED cups RESOURCE_LOCK cups TIMEOUT 120 ENVIRONMENT "${TEST_ENVIRONMENT}")
add_test(NAME print.no_default_printer COMMAND sh ${PRINT_CUPS_SCRIPT} run ${PRINT_CUPS_POINTER} no-scheduler.sock
  $<TARGET_FILE:print_real_printer_tests> --gtest_filter=NoPrintSystem.*)
set_tests_properties(print.no_default_printer PROPERTIES
  FIXTURES_REQUIRED cups TIMEOUT 60 ENVIRONMENT "${TEST_ENVIRONMENT}")
