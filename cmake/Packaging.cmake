# What integrators install: the CMake package and pkg-config file of the host
# library, the toolchain files, man pages of the two programs, and Debian
# packages of it all. Every installed name carries QUILLMARSH_SUFFIX, so the
# Qt 5 and Qt 6 builds install side by side.
include(CMakePackageConfigHelpers)

set(QUILLMARSH_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${QUILLMARSH_CMAKE_PACKAGE})
install(EXPORT QuillmarshTargets NAMESPACE Quillmarsh:: DESTINATION ${QUILLMARSH_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuillmarshConfig.cmake.in
  ${CMAKE_BINARY_DIR}/${QUILLMARSH_CMAKE_PACKAGE}Config.cmake
  INSTALL_DESTINATION ${QUILLMARSH_CMAKE_DIR}
  PATH_VARS QUILLMARSH_PLUGIN_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/${QUILLMARSH_CMAKE_PACKAGE}ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/${QUILLMARSH_CMAKE_PACKAGE}Config.cmake
              ${CMAKE_BINARY_DIR}/${QUILLMARSH_CMAKE_PACKAGE}ConfigVersion.cmake
        DESTINATION ${QUILLMARSH_CMAKE_DIR} COMPONENT dev)
# Integrators cross-build their own hosts with the same toolchain files.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/toolchains/aarch64-linux-gnu.cmake
              ${CMAKE_CURRENT_LIST_DIR}/toolchains/arm-linux-gnueabihf.cmake
        DESTINATION ${QUILLMARSH_CMAKE_DIR}/toolchains COMPONENT dev)

# The .pc file finds its prefix from where it lies, so it holds wherever the
# tree is installed.
file(RELATIVE_PATH QUILLMARSH_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" QUILLMARSH_PC_TO_PREFIX "${QUILLMARSH_PC_TO_PREFIX}")
set(pc_file ${CMAKE_BINARY_DIR}/quillmarsh${QUILLMARSH_SUFFIX}.pc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillmarsh.pc.in ${pc_file} @ONLY)
install(FILES ${pc_file} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Man pages made from each program's --help. help2man runs the program; a
# cross build runs it under the emulator, through a wrapper that bears the
# program's name, which help2man puts on the page.
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
  message(STATUS "help2man not found: no man pages")
elseif(CMAKE_CROSSCOMPILING AND NOT QUILLMARSH_EMULATOR)
  message(STATUS "cross build without CMAKE_CROSSCOMPILING_EMULATOR: no man pages")
else()
  set(man_pages)
  foreach(program quillmarsh quillmarsh-sim)
    set(name ${program}${QUILLMARSH_SUFFIX})
    set(page ${CMAKE_BINARY_DIR}/man/${name}.1)
    set(run $<TARGET_FILE:${program}>)
    set(prepare_run)
    if(CMAKE_CROSSCOMPILING)
      set(run ${CMAKE_BINARY_DIR}/man/run/${name})
      list(JOIN QUILLMARSH_EMULATOR " " emulator)
      file(GENERATE OUTPUT ${run} CONTENT "#!/bin/sh\nexec ${emulator} '$<TARGET_FILE:${program}>' \"$@\"\n")
      set(prepare_run COMMAND chmod 755 ${run})
    endif()
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      ${prepare_run}
      COMMAND ${HELP2MAN} --no-info --version-string=${PROJECT_VERSION} --output=${page} ${run}
      COMMAND gzip -9nf ${page}
      DEPENDS ${program}
      COMMENT "Man page of ${name}")
    list(APPEND man_pages ${page}.gz)
  endforeach()
  add_custom_target(man-pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()

# Two Debian packages per build: quillmarsh (programs, plug-in, man pages;
# its dependencies are the run-time libraries dpkg-shlibdeps finds) and
# quillmarsh-dev (what hosts are built with); -qt6 after both names for Qt 6.
set(deb_name quillmarsh${QUILLMARSH_SUFFIX})
if(QUILLMARSH_QT STREQUAL "6")
  set(qt_dev_package qt6-base-dev)
else()
  set(qt_dev_package qtbase5-dev)
endif()
set(CPACK_PACKAGE_NAME ${deb_name})
set(CPACK_PACKAGE_VENDOR "Quillmarsh")
set(CPACK_PACKAGE_CONTACT "Quillmarsh developers <quillmarsh@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "S7 PLC driver plug-in for HMI/SCADA hosts (Qt ${QUILLMARSH_QT})")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # <package>_<version>_<arch>.deb
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "S7 PLC driver plug-in for HMI/SCADA hosts built on Qt ${QUILLMARSH_QT}, with a CLI host and a simulated PLC\n"
    "libQuillmarsh.so, loaded by hosts built against Qt ${QUILLMARSH_QT}; ${deb_name}, a command-line host; "
    "quillmarsh-sim${QUILLMARSH_SUFFIX}, a simulated S7 PLC.")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Quillmarsh S7 driver plug-in: host header and loader for Qt ${QUILLMARSH_QT}\n"
    "Headers, the static host library, the CMake package ${QUILLMARSH_CMAKE_PACKAGE}, the pkg-config module "
    "${deb_name} and toolchain files for cross-building hosts.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${deb_name})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${deb_name}-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${deb_name} (= ${PROJECT_VERSION}), ${qt_dev_package}")
if(CMAKE_CROSSCOMPILING)
  # The target's architecture, and dpkg-shlibdeps reading the target's
  # binaries with the target's objdump and the target's libraries' symbols.
  execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
  set(QUILLMARSH_DEB_HOST_ARCH ${deb_arch})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackCrossEnv.cmake.in ${CMAKE_BINARY_DIR}/CPackCrossEnv.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackCrossEnv.cmake)
endif()
include(CPack)
