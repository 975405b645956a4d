# The installed tree (cmake --install with DESTDIR), started and validated.
add_test(NAME install_tests COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/installed_tree.sh
  ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/samples/radiograph.jpg)
set_tests_properties(install_tests PROPERTIES ENVIRONMENT "${TEST_ENVIRONMENT}" TIMEOUT 120)

add_test(NAME install_metainfo COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/metainfo.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_metainfo PROPERTIES ENVIRONMENT "${TEST_ENVIRONMENT}" TIMEOUT 60
  SKIP_RETURN_CODE 77)
# Both tests install the build folder, and every install rewrites its
# install_manifest.txt: one at a time.
set_tests_properties(install_tests install_metainfo PROPERTIES RESOURCE_LOCK install_manifest)
