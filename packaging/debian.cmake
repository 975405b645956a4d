# `make package` (cpack -G DEB in the build folder) makes the Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME selection-image)  # Debian's names have no '_'
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Seed efc7c07e maintainers <maintainers@users.noreply.c-seed-efc7c07e.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture tool for records: view, adjust, measure, store, print")
set(CPACK_PACKAGE_DESCRIPTION "A records application starts selection_image once per record with the path\n\
of the record's picture. The window shows the picture zoomed and scrolled,\n\
brings in a new one (file, clipboard, scanner), adjusts it (negative, light,\n\
contrast, gamma, false colours, sharpening), measures on it (an angle, a\n\
length ratio), stores it as JPEG over the record's file, deletes or prints it.\n\
.\n\
picfilter runs the same picture engine on files from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Depends: what the programs, the window's library and the DICOM helper are
# linked with (Qt 6 Widgets, PrintSupport, Gui, Core, TurboJPEG, zlib and
# the C and C++ runtimes), read from the binaries by dpkg-shlibdeps, so the
# list and its versions follow the build. CPack's own reading (SHLIBDEPS)
# takes every ELF file, the DICOM codec module too, and would make GDCM a
# Depends; shlibdeps.cmake reads them once staged, the codec module apart.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/shlibdeps.cmake)
# Recommends: what is loaded only when a feature needs it, each missing one
# costing that feature alone, never the start:
# - libsane1, opened with dlopen when a scanner button is first used;
#   without it scanning says it is unavailable;
# - qt6-translations-l10n, Qt's French texts for its standard buttons and
#   dialogs; without it they stay English;
# - qt6-image-formats-plugins, the TIFF (and WebP, TGA) readers behind the
#   open dialog and the paste; without it such files are refused as not a
#   picture, while JPEG, BMP and PNG need nothing more;
# - GDCM's runtime (libgdcm3.0 on Debian 12), added by shlibdeps.cmake from
#   what the codec module links: the DICOM helper loads that module only for
#   compressed pixels; without it such files are refused with a message
#   saying so, and everything else, uncompressed DICOM files included, works.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsane1, qt6-translations-l10n, qt6-image-formats-plugins")
set(CPACK_SELECTION_IMAGE_RECOMMENDED_MODULES
  ${CMAKE_SHARED_MODULE_PREFIX}selection_image_dicom_codec${CMAKE_SHARED_MODULE_SUFFIX})
include(CPack)
