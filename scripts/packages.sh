# The Debian packages the build and its tests need, in one place for every
# script: the compiler and CMake, Qt 5 with Qwt (whose pkg-config file needs
# Qt5Svg), libusb for real boards, and desktop-file-utils and dpkg for the
# install and package tests; umockdev and its development files for the
# tests that run the real libusb against boards on an emulated USB bus.
build_packages=(cmake make g++ pkg-config qtbase5-dev libqwt-qt5-dev libqt5svg5-dev libusb-1.0-0-dev
                desktop-file-utils dpkg umockdev libumockdev-dev)
# The board firmware (firmware/): SDCC builds the FX2LP image, and sdcc-ucsim's
# s51 runs it in the firmware tests, driven by a Python script (python3 is
# not part of a minimal Debian). Without them the image or its test is skipped.
build_packages+=(sdcc sdcc-ucsim python3)
