# Builds for 32-bit Intel, the programs' own platform, on an x86-64 host with
# Debian's i686 cross compiler (g++-i686-linux-gnu), which also links musl's
# i386 libc.a; the tests run on the i386 C library of libc6-i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
