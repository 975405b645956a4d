# Run by CPack once the package's files are staged, before the package is
# made (CPACK_PRE_BUILD_SCRIPTS). CPack's own dependency reading would put in
# Depends what every ELF file links, the DICOM codec module's GDCM included,
# though the module is loaded only for a compressed frame and its absence
# costs that alone. So dpkg-shlibdeps reads the files here itself: what the
# programs, the window's library and the DICOM helper link goes to Depends;
# what the modules named in CPACK_SELECTION_IMAGE_RECOMMENDED_MODULES link
# goes to Recommends, less what Depends already holds (dpkg-shlibdeps drops a
# weaker field's entries that a stronger one implies).
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${stage}/*")
set(required)
set(recommended)
foreach(path IN LISTS staged)
  if(IS_SYMLINK "${path}")
    continue()
  endif()
  file(READ "${path}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  get_filename_component(name "${path}" NAME)
  file(RELATIVE_PATH relative "${stage}" "${path}")
  list(FIND CPACK_SELECTION_IMAGE_RECOMMENDED_MODULES "${name}" module)
  if(module GREATER -1)
    list(APPEND recommended "-e${relative}")
  else()
    list(APPEND required "-e${relative}")
  endif()
endforeach()
list(LENGTH recommended found)
list(LENGTH CPACK_SELECTION_IMAGE_RECOMMENDED_MODULES wanted)
if(NOT required OR NOT found EQUAL wanted)
  message(FATAL_ERROR "staged ELF files: ${required} ${recommended}; expected modules: "
    "${CPACK_SELECTION_IMAGE_RECOMMENDED_MODULES}")
endif()

# dpkg-shlibdeps wants a source package's control file, and a DEBIAN folder
# to know the package's root when it resolves $ORIGIN.
file(MAKE_DIRECTORY "${stage}/debian" "${stage}/DEBIAN")
file(WRITE "${stage}/debian/control" "")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C dpkg-shlibdeps -O -dDepends ${required} -dRecommends ${recommended}
  WORKING_DIRECTORY "${stage}"
  OUTPUT_VARIABLE substitutions
  ERROR_VARIABLE warnings
  RESULT_VARIABLE status)
file(REMOVE_RECURSE "${stage}/debian" "${stage}/DEBIAN")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${warnings}")
endif()
if(NOT substitutions MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps gave no Depends: ${substitutions}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
# A recommended module that links nothing beyond Depends adds nothing.
if(substitutions MATCHES "shlibs:Recommends=([^\n]+)")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${CPACK_DEBIAN_PACKAGE_RECOMMENDS}, ${CMAKE_MATCH_1}")
endif()
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
message(STATUS "Recommends: ${CPACK_DEBIAN_PACKAGE_RECOMMENDS}")
