# Cross build for 32-bit ARM Linux with hardware floating point (Debian's
# armhf: ARMv7, Cortex-A7 and up) on a Debian build machine:
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=<this file>
# It needs Debian's cross compiler and the target's libraries from multiarch:
#   dpkg --add-architecture armhf && apt-get update
#   apt-get install crossbuild-essential-armhf qtbase5-dev:armhf (or qt6-base-dev:armhf) qemu-user
#
# The target is Debian's multiarch triplet arm-linux-gnueabihf on the build machine itself,
# with no sysroot: its compilers are arm-linux-gnueabihf-gcc and -g++, its libraries,
# headers and CMake packages lie in its multiarch folders (/usr/lib/arm-linux-gnueabihf,
# /usr/include/arm-linux-gnueabihf) beside the build machine's own, and the code
# generators (Qt's moc and rcc) are the build machine's, which the target's
# Qt packages name.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# find_package and find_library search the target's multiarch folders
# (CMAKE_LIBRARY_ARCHITECTURE) and the generic ones, never the build
# machine's /usr/lib/<its triplet>; programs found are the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkg-config reads the target's .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig")

# Target programs (tests, programs run at build time) run under qemu-user,
# which finds the target's dynamic loader and libraries through multiarch.
find_program(QUILLMARSH_CROSS_EMULATOR qemu-arm)
if(QUILLMARSH_CROSS_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLMARSH_CROSS_EMULATOR})
endif()
