# SPDX-License-Identifier: MIT
# Installing like a desktop application, in parts that CPack packs as Debian
# packages:
#   kousb               the command line: kousb, kousb-sim, their manual pages,
#                       the udev rule and its installer, the example files
#   usb-device-manager  the window: program, manual page, menu entry, icons;
#                       depends on kousb of the same version
#   python3-kousb       the Python module (where it is built, python/); depends
#                       on kousb of the same version, for the udev rule and
#                       the board firmware
include(GNUInstallDirs)

# Manual pages are installed gzip-compressed, as Debian expects them (man
# reads them either way); -n keeps the file's name and time out, so the
# package is the same for the same sources.
set(udm_man_gz)
foreach(page kousb kousb-sim usb-device-manager)
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                     COMMAND gzip -9n < ${CMAKE_SOURCE_DIR}/docs/man/${page}.1 > ${gz}
                     DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/${page}.1
                     COMMENT "Compressing the ${page} manual page")
  list(APPEND udm_man_gz ${gz})
endforeach()
add_custom_target(udm_manpages ALL DEPENDS ${udm_man_gz})

# Every package carries the licence in Debian's machine-readable copyright
# format and the changelog, compressed as for the manual pages. The
# changelog's newest entry must name the version being built.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog udm_changelog_head LIMIT_COUNT 1)
if(NOT udm_changelog_head MATCHES "^usb-device-manager \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the newest entry is not for version ${PROJECT_VERSION}: ${udm_changelog_head}")
endif()
set(udm_changelog_gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${udm_changelog_gz}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
                   COMMAND gzip -9n < ${CMAKE_SOURCE_DIR}/packaging/debian/changelog > ${udm_changelog_gz}
                   DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
                   COMMENT "Compressing the changelog")
add_custom_target(udm_changelog ALL DEPENDS ${udm_changelog_gz})
# udm_package_docs(<package> <component>): copyright and changelog of one package.
function(udm_package_docs package component)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${udm_changelog_gz}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()
udm_package_docs(kousb kousb)

install(TARGETS kousb-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kousb)
install(FILES ${CMAKE_BINARY_DIR}/man/kousb-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kousb)
if(TARGET kousb-cli)
  install(TARGETS kousb-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kousb)
  install(FILES ${CMAKE_BINARY_DIR}/man/kousb.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kousb)
endif()

# udev reads /usr/lib/udev/rules.d and /etc/udev/rules.d; the default is right
# for a /usr prefix and the package. The installer (for the plugdev variant or
# more vendor:product pairs) writes /etc/udev/rules.d from the copy beside it.
set(UDM_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the udev rules go (relative to the prefix, or absolute)")
install(FILES packaging/70-kousb.rules DESTINATION ${UDM_UDEV_RULES_DIR} COMPONENT kousb)
install(FILES packaging/70-kousb.rules DESTINATION ${CMAKE_INSTALL_DATADIR}/kousb COMPONENT kousb)
install(PROGRAMS packaging/install-udev-rule.sh DESTINATION ${CMAKE_INSTALL_DATADIR}/kousb COMPONENT kousb)

if(TARGET usb-device-manager)
  install(TARGETS usb-device-manager RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
  install(FILES ${CMAKE_BINARY_DIR}/man/usb-device-manager.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT window)
  install(FILES resources/usb-device-manager.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT window)
  foreach(size 16 32 64 128 256)
    install(FILES resources/icons/usb-device-manager-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME usb-device-manager.png COMPONENT window)
  endforeach()
  install(FILES resources/icons/usb-device-manager.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          COMPONENT window)
  udm_package_docs(usb-device-manager window)
endif()

if(TARGET kousb_python)
  udm_package_docs(python3-kousb python)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME usb-device-manager)
set(CPACK_PACKAGE_VENDOR "USB Device Manager developers")
# A project address on a domain reserved for examples, until the project has one of its own.
set(CPACK_PACKAGE_CONTACT "The USB Device Manager developers <maintainers@usb-device-manager.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# dpkg-shlibdeps finds the runtime packages of what the programs link (libc,
# libusb, Qt, Qwt), so the dependencies follow the build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_KOUSB_PACKAGE_NAME kousb)
set(CPACK_DEBIAN_KOUSB_DESCRIPTION "Command line for USB lab boards, and simulated boards
kousb lists, reads, writes, benchmarks, flashes and identifies lab boards with
a USB controller, an FPGA and an EEPROM; kousb-sim plugs simulated boards that
every program of the board library sees. With the udev rule that lets users
open the boards, and example files to load.")
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME usb-device-manager)
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "Test, benchmark, flash and identify USB lab boards
A window listing the attached lab boards, with pages for IO tests, a block
transfer benchmark, loading FPGA and controller firmware, flashing the EEPROM
and setting the board's identity.")

if(TARGET kousb_python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-kousb)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${UDM_PYTHON_DEPENDS}")
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python module for USB lab boards
The module kousb drives lab boards with a USB controller, an FPGA and an
EEPROM from Python, real or simulated: lists them, reads and writes in every
IO mode, moves blocks through the buffer protocol, loads firmware, flashes
the EEPROM, sets the identity and follows boards arriving and leaving. Errors
raise one exception class per library error code.")
endif()

include(CPack)
cpack_add_component(kousb DISPLAY_NAME "kousb")
# The window opens boards through the udev rule that comes with kousb.
cpack_add_component(window DISPLAY_NAME "usb-device-manager" DEPENDS kousb)
cpack_add_component(python DISPLAY_NAME "python3-kousb" DEPENDS kousb)
