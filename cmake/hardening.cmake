# Every program and library is hardened as Debian hardens its packages
# (hardening=+all), in the package and in any other build alike. The flags
# come from dpkg-buildflags where it exists, so they follow Debian's choices;
# a fixed list stands in for them elsewhere.
set(SELECTION_IMAGE_HARDENING_COMPILE -fstack-protector-strong -Wformat -Werror=format-security)
set(SELECTION_IMAGE_HARDENING_FORTIFY -D_FORTIFY_SOURCE=2)
set(SELECTION_IMAGE_HARDENING_LINK -Wl,-z,relro -Wl,-z,now)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS)
  set(SELECTION_IMAGE_HARDENING_COMPILE)
  set(SELECTION_IMAGE_HARDENING_FORTIFY)
  set(SELECTION_IMAGE_HARDENING_LINK)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    # Only the hardening area: the other areas' flags (file prefix maps,
    # -Wdate-time) are not hardening. -O and -g belong to the build type, and
    # so does fortify's condition, which DEB_BUILD_OPTIONS=noopt would drop.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DEB_BUILD_OPTIONS
        "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-all qa=-all future=-all sanitize=-all optimize=-all"
        ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${status})")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-[gO]")
    foreach(flag ${flags})
      if(kind STREQUAL LDFLAGS)
        list(APPEND SELECTION_IMAGE_HARDENING_LINK ${flag})
      elseif(flag MATCHES "_FORTIFY_SOURCE")
        list(APPEND SELECTION_IMAGE_HARDENING_FORTIFY ${flag})
      else()
        list(APPEND SELECTION_IMAGE_HARDENING_COMPILE ${flag})
      endif()
    endforeach()
  endforeach()
endif()
# Debian 12's dpkg (1.21) gives neither stack clash protection nor control
# flow protection, which later ones add to hardening=+all; each is added here
# where the compiler takes it for this machine (-fcf-protection on x86,
# -mbranch-protection on arm64) and dpkg-buildflags did not already give it.
include(CheckCXXCompilerFlag)
foreach(flag -fstack-clash-protection -fcf-protection -mbranch-protection=standard)
  string(REGEX REPLACE "=.*" "" name ${flag})
  string(FIND "${SELECTION_IMAGE_HARDENING_COMPILE}" "${name}" given)
  if(given EQUAL -1)
    string(MAKE_C_IDENTIFIER "HAVE${flag}" have)
    check_cxx_compiler_flag(${flag} ${have})
    if(${have})
      list(APPEND SELECTION_IMAGE_HARDENING_COMPILE ${flag})
    endif()
  endif()
endforeach()
# Executables are linked as position-independent (-pie), not only compiled so.
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
string(REPLACE ";" " " hardening
  "${SELECTION_IMAGE_HARDENING_COMPILE};${SELECTION_IMAGE_HARDENING_FORTIFY};${SELECTION_IMAGE_HARDENING_LINK}")
message(STATUS "Hardening: ${hardening}")

# The pixel arithmetic must stay exactly as written (no fused multiply-add),
# and our own code builds without warnings. Fortify works only in optimised
# code (glibc ignores it in a Debug build, and older ones warn, which -Werror
# makes fatal), so a Debug build goes without. Position-independent code
# throughout: Qt 6 requires it, and it makes the programs PIE.
function(selection_image_target target)
  target_compile_options(${target} PRIVATE -ffp-contract=off -Wall -Wextra -Wpedantic -Werror
    ${SELECTION_IMAGE_HARDENING_COMPILE})
  foreach(flag ${SELECTION_IMAGE_HARDENING_FORTIFY})
    target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:${flag}>)
  endforeach()
  target_link_options(${target} PRIVATE ${SELECTION_IMAGE_HARDENING_LINK})
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
