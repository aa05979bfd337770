# Builds for 32-bit ARM with hard float on any host, with Debian's cross
# compiler (g++-arm-linux-gnueabihf), which also links musl's armhf libc.a.
# There update enters the kernel as system call 134, as on i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
