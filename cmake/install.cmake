# Installing like a desktop application: the three programs in bin/, the
# menu entry and icons under share/, manual pages, the udev rule where udev
# reads it; and a Debian package of the same through CPack.
include(GNUInstallDirs)

install(TARGETS kousb-sim kousb-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES docs/man/kousb-sim.1 docs/man/kousb.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(UDM_HAVE_GUI)
  install(TARGETS usb-device-manager RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/man/usb-device-manager.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES resources/usb-device-manager.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 32 64 128 256)
    install(FILES resources/icons/usb-device-manager-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME usb-device-manager.png)
  endforeach()
  install(FILES resources/icons/usb-device-manager.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# udev reads /usr/lib/udev/rules.d and /etc/udev/rules.d; the default is right
# for a /usr prefix and the package. The rules come with the real-board
# backend and are installed when they are there.
set(UDM_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the udev rules go (relative to the prefix, or absolute)")
file(GLOB UDM_UDEV_RULES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/*.rules)
if(UDM_UDEV_RULES)
  install(FILES ${UDM_UDEV_RULES} DESTINATION ${UDM_UDEV_RULES_DIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME usb-device-manager)
set(CPACK_PACKAGE_VENDOR "USB Device Manager developers")
set(CPACK_PACKAGE_CONTACT "USB Device Manager developers <udm@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test, benchmark, flash and identify USB lab boards")
set(CPACK_PACKAGE_DESCRIPTION "A window and the kousb command line for lab boards with a USB\n"
                              "controller, an FPGA and an EEPROM, and kousb-sim for simulated boards.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Debian 12's runtime packages for what the programs link; libusb is for the
# real-board backend.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt5core5a (>= 5.15), libqt5gui5 (>= 5.15), libqt5widgets5 (>= 5.15), libqt5svg5, libqwt-qt5-6, libusb-1.0-0")
include(CPack)
