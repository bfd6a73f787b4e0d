# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers for the installed files that are not programs: the manual pages,
# built from their scdoc sources in docs/man/, and the copyright and change
# log that each Debian package carries in /usr/share/doc/PACKAGE.
include(GNUInstallDirs)

find_program(FERROX_SCDOC scdoc)
if(NOT FERROX_SCDOC)
  message(FATAL_ERROR "scdoc, which builds the manual pages, was not found "
                      "(Debian package scdoc; scripts/setup.sh installs it)")
endif()
find_program(FERROX_GZIP gzip REQUIRED)

# Compresses input into output the way Debian wants it: best compression, no
# name and no time stamp, so that the result depends on the contents only.
function(ferrox_gzip_command input output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${FERROX_GZIP} -9nc ${input} > ${output}
    DEPENDS ${input}
    VERBATIM)
endfunction()

# Builds docs/man/NAME.SECTION.scd into man/NAME.SECTION.gz of the build tree
# with every build, and installs it into the manual's section with the
# install component.
function(ferrox_add_man_page name section component)
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${name}.${section}.scd)
  set(page ${CMAKE_BINARY_DIR}/man/${name}.${section})
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${FERROX_SCDOC} < ${source} > ${page}
    DEPENDS ${source}
    COMMENT "Building the manual page ${name}(${section})"
    VERBATIM)
  ferrox_gzip_command(${page} ${page}.gz)
  add_custom_target(${name}_man_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()

# Installs the copyright file and the compressed Debian change log into
# share/doc/PACKAGE with the install component.
function(ferrox_install_package_docs package component)
  set(changelog ${CMAKE_BINARY_DIR}/doc/${package}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc/${package}
    COMMAND ${FERROX_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM)
  add_custom_target(${package}_package_docs ALL DEPENDS ${changelog})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()
