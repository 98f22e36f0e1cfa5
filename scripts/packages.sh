# SPDX-License-Identifier: MIT
# The Debian packages the build and its tests need, in one place for every
# script. The list is complete for a minimal Debian 12 where packages are
# installed with --no-install-recommends (scripts/check-fresh-debian.sh
# proves it on a fresh debootstrap system).

# The board library, kousb and kousb-sim alone, without Qt.
noqt_packages=(cmake make g++ pkg-config
               libusb-1.0-0-dev)   # real boards

build_packages=("${noqt_packages[@]}"
  qtbase5-dev libqwt-qt5-dev
  # Debian's Qt5Qwt6.pc requires Qt5Svg and Qt5OpenGL; without their .pc
  # files pkg-config cannot find Qwt at all, and qtbase5-dev only recommends
  # the OpenGL one.
  libqt5svg5-dev libqt5opengl5-dev
  libx11-dev   # the window reads the X server's DPI before Qt connects to it
  # The offscreen platform of the window tests draws text: one font. (Any
  # font satisfies fontconfig's dependency; this names the one we test with.)
  fonts-dejavu-core
  desktop-file-utils   # desktop-file-validate, for the menu entry test
  # A real X server for the window: the text-fit test runs the window on
  # one at 192 dpi, and scripts/screenshot.sh takes its pictures on one
  # (xvfb-run needs xauth).
  xvfb xauth
  # The package test: dpkg-deb reads the packages, and CPack finds the
  # shared-library dependencies with dpkg-shlibdeps (dpkg-dev) and `file`.
  dpkg dpkg-dev file
  lintian              # the package test holds each package to Debian's checker
  # The tests that run the real libusb against boards on an emulated USB bus.
  umockdev libumockdev-dev
  # The board firmware: SDCC builds the FX2LP image, and sdcc-ucsim's s51 runs
  # it in the firmware tests, driven by a Python script (python3 is not part
  # of a minimal Debian). Without them the image or its test is skipped.
  sdcc sdcc-ucsim python3
  # Clients no one here wrote, run against the firmware image on the emulated
  # controller: fxload loads it, lsusb -v reads its descriptors, and a Python
  # script finds the board with pyusb. Without them those tests are skipped.
  fxload usbutils python3-usb
  # The Python module kousb: pybind11 and Debian's Python headers build it
  # (it is left out without them); pytest runs its tests.
  pybind11-dev python3-dev python3-pytest)
