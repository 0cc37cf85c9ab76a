# Cross-compiling the plug-in and the simulation core to WebAssembly with
# Debian's clang 14, wasi-libc and libc++ for wasm32.
#
# Only the wasm32 headers are seen: without -nostdlibinc clang would fall back
# to the build machine's /usr/include for a header the wasm32 libraries lack,
# and compile against declarations that do not match them.
# The platform's own settings are in cmake/Platform/WASI.cmake.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_SYSROOT /usr)

set(ATS_WASI_LIBCXX_INCLUDE /usr/lib/llvm-14/include/wasm32-wasi/c++/v1)
set(ATS_WASI_LIBC_INCLUDE /usr/include/wasm32-wasi)
set(ATS_WASI_LIBCXX_LIB /usr/lib/llvm-14/lib/wasm32-wasi)

set(CMAKE_C_FLAGS_INIT "-nostdlibinc -isystem ${ATS_WASI_LIBC_INCLUDE}")
# The wasm32 C++ library has no exceptions: a throw would trap with its
# message lost, so none is compiled in.
set(CMAKE_CXX_FLAGS_INIT
    "-nostdlibinc -isystem ${ATS_WASI_LIBCXX_INCLUDE} -isystem ${ATS_WASI_LIBC_INCLUDE} -fno-exceptions")
# A reactor: its exports may be called any number of times. A command module
# would run the exit handlers after every call. The compile-only flags above
# mean nothing to the linker.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fuse-ld=lld -mexec-model=reactor -L${ATS_WASI_LIBCXX_LIB} -Wno-unused-command-line-argument")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
