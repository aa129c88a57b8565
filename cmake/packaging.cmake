# What an installation holds, and the packages made from it: cpack -G DEB
# in a native build folder, cpack -G ZIP in the Windows one.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME kuvertpfeil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes HTML mail links with a percent-encoded message")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Everything in one folder, with a German text on use in Windows line ends.
  install(TARGETS kuvertpfeil RUNTIME DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  configure_file(packaging/windows/LIESMICH.txt LIESMICH.txt @ONLY NEWLINE_STYLE WIN32)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LIESMICH.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS kuvertpfeil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Manual page and changelog compressed as Debian wants them: gzip -9,
  # without name or time stamp (-n), so that the bytes depend on the text alone.
  set(compressed_files)
  foreach(text man/kuvertpfeil.1 packaging/debian/changelog)
    get_filename_component(name ${text} NAME)
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${text}
              ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name}
      COMMAND gzip -9nf ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name}
      DEPENDS ${text} VERBATIM)
    list(APPEND compressed_files ${compressed})
  endforeach()
  add_custom_target(compressed_texts ALL DEPENDS ${compressed_files})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/compressed/kuvertpfeil.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/compressed/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # The control file's long description (CPack puts the summary before it),
  # in lines of at most 80 columns.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kuvertpfeil writes an HTML anchor whose mailto: link opens the reader's
mail program with recipient, subject and message filled in; with -h, a
whole HTML page that draws the link as a centred button. Its console
texts are German.")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "kuvertpfeil developers <kuvertpfeil@example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
endif()

# The packages' time stamps come from the last commit, so that two builds of
# one commit give the same bytes (see cpack_project_config.cmake).
set(CPACK_KUVERTPFEIL_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/cpack_project_config.cmake)
include(CPack)
