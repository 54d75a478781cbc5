# The ARM board (32-bit, hard float) with Debian's cross compiler:
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake
# Only the board's programs are built; their tests run under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(KAMNAR_ARM_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${KAMNAR_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KAMNAR_ARM_TRIPLET}-g++)

# Libraries and headers of the board come from the cross sysroot only;
# programs to run at build time are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${KAMNAR_ARM_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (and GoogleTest's test discovery) run through the emulator,
# which finds the board's loader and libraries under the sysroot. The full
# path: the test harness starts it with execve.
find_program(KAMNAR_QEMU_ARM qemu-arm)
if(KAMNAR_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KAMNAR_QEMU_ARM} -L /usr/${KAMNAR_ARM_TRIPLET})
endif()
