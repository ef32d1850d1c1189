# Cross-compiling for a 64-bit Raspberry Pi (arm64) on a Debian amd64 computer with multiarch:
# the arm64 libraries in /usr/lib/aarch64-linux-gnu, the cross compiler of
# crossbuild-essential-arm64, and Qt's code generators (moc, rcc) from this computer's own Qt.
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=packaging/toolchain-arm64.cmake
# packaging/cross-build runs the build in a root that holds what it needs; scripts/build-package
# arm64 uses it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Headers and libraries of the target, programs of this computer.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Qt's tools run on this computer: the amd64 Qt installs them, and its CMake files say where.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# pkg-config (libmosquitto, libisal) looks only at the arm64 libraries' descriptions.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# libindi-dev is not installable for two architectures at once: its headers, the same on every
# architecture, come from this computer's package, the driver library from libindidriver1:arm64.
if(NOT EXISTS /usr/lib/aarch64-linux-gnu/libindidriver.so
   AND EXISTS /usr/lib/aarch64-linux-gnu/libindidriver.so.1)
    set(INDI_DRIVER_LIBRARY /usr/lib/aarch64-linux-gnu/libindidriver.so.1 CACHE FILEPATH
        "libindi's driver library (arm64)")
endif()

# Built arm64 programs (the manual pages are made from their --help) run in qemu.
find_program(NOXA_QEMU_AARCH64 qemu-aarch64-static qemu-aarch64)
if(NOXA_QEMU_AARCH64)
    # With the arm64 C library and loader of libc6:arm64 (multiarch), as on a Pi; the cross
    # compiler's own C library does not go with the packages' libraries.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${NOXA_QEMU_AARCH64})
endif()

# The package is for arm64, whatever this computer is (scripts/build-package, cpack).
set(NOXA_DEBIAN_ARCHITECTURE arm64)
