# What `cmake --install` puts beside the programs (manual pages, the bash
# completion, udev rules, the package's documents), and the Debian package
# made from all of it:
#   cmake --build build --target package    ->  build/korvane_<version>_<arch>.deb
# scripts/check-package.sh builds it with Debian's build flags and checks it.

# korvane_gzip(SOURCE OUTPUT): OUTPUT is SOURCE compressed as Debian wants
# documents: best compression, no name or time stamp inside.
function(korvane_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}"
    VERBATIM)
endfunction()

# The manual pages, one for each program built.
set(man_pages korvane-cli korvane-boardsim)
if(KORVANE_WITH_UI)
  list(APPEND man_pages korvane)
endif()
set(man_outputs)
foreach(page IN LISTS man_pages)
  set(output ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
  korvane_gzip(${PROJECT_SOURCE_DIR}/man/${page}.1 ${output})
  list(APPEND man_outputs ${output})
endforeach()
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man ${PROJECT_BINARY_DIR}/packaging)
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Where bash-completion loads completions from on demand, relative to the
# install prefix when it lies under bash-completion's own prefix.
set(completion_dir ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --variable=completionsdir bash-completion
    OUTPUT_VARIABLE pc_completions OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --variable=prefix bash-completion
    OUTPUT_VARIABLE pc_prefix OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(pc_completions AND pc_prefix)
    string(LENGTH "${pc_prefix}/" prefix_length)
    string(SUBSTRING "${pc_completions}" 0 ${prefix_length} head)
    if(head STREQUAL "${pc_prefix}/")
      string(SUBSTRING "${pc_completions}" ${prefix_length} -1 completion_dir)
    else()
      set(completion_dir ${pc_completions})
    endif()
  endif()
endif()
set(KORVANE_BASH_COMPLETION_DIR ${completion_dir} CACHE PATH
  "Where the bash completion of korvane-cli goes (relative: under the install prefix)")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/korvane-cli
  DESTINATION ${KORVANE_BASH_COMPLETION_DIR})

set(KORVANE_UDEV_RULES_DIR lib/udev/rules.d CACHE PATH
  "Where the udev rules for USB serial adapters go (relative: under the install prefix)")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/60-korvane.rules
  DESTINATION ${KORVANE_UDEV_RULES_DIR})

# The package's documents. A version with no Debian revision makes a native
# package, whose changelog is changelog.gz; its latest entry must be this
# version.
set(changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^korvane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "${changelog} begins with '${changelog_head}'; "
    "its latest entry must be for version ${PROJECT_VERSION}")
endif()
korvane_gzip(${changelog} ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/korvane)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
  DESTINATION ${doc_dir})

add_custom_target(korvane_install_files ALL
  DEPENDS ${man_outputs} ${PROJECT_BINARY_DIR}/packaging/changelog.gz)

# --- The Debian package -----------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR "Korvane developers")
set(CPACK_PACKAGE_CONTACT "Korvane developers <dev@korvane.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flash programmer for 8051-family microcontrollers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Korvane programs and reads back the flash code memory of 8051-family\n"
  "microcontrollers (89C51, 89LV51, 89C52, 89LV52, 89C55, 89LV55 and\n"
  "89C2051/4051) through an RS-232 programmer board on a serial port or a\n"
  "USB serial adapter. It writes Intel HEX files into the chip, verifies\n"
  "and locks them, and reads the chip back into a file.\n"
  "\n"
  "The package holds the desktop window (korvane), the command-line tool\n"
  "for shells and scripts (korvane-cli), and a virtual programmer board on\n"
  "a pseudo-terminal (korvane-boardsim) to try both without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
if(CMAKE_OBJCOPY)
  set(CPACK_KORVANE_OBJCOPY ${CMAKE_OBJCOPY})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian/strip-comments.cmake)
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The source archive, should anyone ask for one: the tracked tree alone.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/\\\\.cache/")
include(CPack)
