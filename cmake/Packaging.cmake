# What integrators install: the CMake package and pkg-config file of the host
# library, man pages of the two programs, and a Debian package of it all.
include(CMakePackageConfigHelpers)

set(QUILLMARSH_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillmarsh)
set(QUILLMARSH_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/quillmarsh)
install(EXPORT QuillmarshTargets NAMESPACE Quillmarsh:: DESTINATION ${QUILLMARSH_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuillmarshConfig.cmake.in
  ${CMAKE_BINARY_DIR}/QuillmarshConfig.cmake
  INSTALL_DESTINATION ${QUILLMARSH_CMAKE_DIR}
  PATH_VARS QUILLMARSH_PLUGIN_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QuillmarshConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QuillmarshConfig.cmake ${CMAKE_BINARY_DIR}/QuillmarshConfigVersion.cmake
        DESTINATION ${QUILLMARSH_CMAKE_DIR})

# The .pc file finds its prefix from where it lies, so it holds wherever the
# tree is installed.
file(RELATIVE_PATH QUILLMARSH_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" QUILLMARSH_PC_TO_PREFIX "${QUILLMARSH_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillmarsh.pc.in ${CMAKE_BINARY_DIR}/quillmarsh.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quillmarsh.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Man pages made from each program's --help.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(man_pages)
  foreach(program quillmarsh quillmarsh-sim)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --version-string=${PROJECT_VERSION} --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program}
      COMMENT "Man page of ${program}")
    list(APPEND man_pages ${page}.gz)
  endforeach()
  add_custom_target(man-pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man pages")
endif()

set(CPACK_PACKAGE_NAME quillmarsh)
set(CPACK_PACKAGE_VENDOR "Quillmarsh")
set(CPACK_PACKAGE_CONTACT "Quillmarsh developers <quillmarsh@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "S7 PLC driver plug-in for HMI/SCADA hosts, with a CLI host and a simulated PLC")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # quillmarsh_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qtbase5-dev")
include(CPack)
