# Cross build for 64-bit Arm Linux (Raspberry Pi OS 64-bit, any Debian arm64) with
# Debian's cross compiler and the arm64 Qt of Debian multiarch
# (qt6-base-dev:arm64 beside the amd64 one). Qt's host tools (moc, rcc, uic) come
# from the amd64 Qt: QT_HOST_PATH=/usr. scripts/build-arm64 uses it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# The arm64 libraries sit in /usr/lib/aarch64-linux-gnu, their CMake packages below
# it, their headers in /usr/include (arch-independent) and
# /usr/include/aarch64-linux-gnu.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(QT_HOST_PATH /usr CACHE PATH "where Qt's host tools come from")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# Debian 12 has no aarch64-linux-gnu-pkg-config: the host's pkg-config reads the
# arm64 .pc files instead of its own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
