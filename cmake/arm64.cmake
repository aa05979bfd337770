# Builds for 64-bit ARM on any host, with Debian's cross compiler
# (g++-aarch64-linux-gnu), which also links musl's arm64 libc.a. Its kernels
# have no bdflush call for 64-bit programs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
