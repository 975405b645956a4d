# The installed tree (cmake --install with DESTDIR), started and validated.
add_test(NAME install_tests COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/installed_tree.sh
  ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/samples/radiograph.jpg)
set_tests_properties(install_tests PROPERTIES ENVIRONMENT "${TEST_ENVIRONMENT}" TIMEOUT 120)
