# The Debian packages the build and its tests need, in one place for every
# script: the compiler and CMake, Qt 5 with Qwt (whose pkg-config file needs
# Qt5Svg), libusb for real boards, and desktop-file-utils and dpkg for the
# install and package tests.
build_packages=(cmake make g++ pkg-config qtbase5-dev libqwt-qt5-dev libqt5svg5-dev libusb-1.0-0-dev
                desktop-file-utils dpkg)
# The board firmware (firmware/): SDCC builds the FX2LP image, and sdcc-ucsim's
# s51 runs it in the firmware tests. Without them the image is skipped.
build_packages+=(sdcc sdcc-ucsim)
