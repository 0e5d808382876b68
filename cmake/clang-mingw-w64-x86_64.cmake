# Cross-compiles for 64-bit Windows with Debian's clang and lld, on the
# mingw-w64 headers, import libraries and GCC runtime (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_SYSROOT /usr/${mingw_triple})
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${mingw_triple})
set(CMAKE_CXX_COMPILER_TARGET ${mingw_triple})
# The same resource compiler as the GCC build, so both embed the same bytes.
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

# clang 14 does not recognise Debian's "12-posix" folder name as a GCC
# version, so it finds neither libstdc++ nor crtbegin.o on its own.
file(GLOB gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${mingw_triple}/*-posix)
list(SORT gcc_dirs COMPARE NATURAL ORDER DESCENDING)
list(APPEND gcc_dirs MINGW_GCC_DIR-NOTFOUND)
list(GET gcc_dirs 0 gcc_dir_found)
set(MINGW_GCC_DIR "${gcc_dir_found}" CACHE PATH "mingw-w64 GCC library folder (libstdc++, libgcc, crtbegin.o)")
if(NOT EXISTS "${MINGW_GCC_DIR}/crtbegin.o")
  message(FATAL_ERROR "No mingw-w64 GCC (posix threads) found; install g++-mingw-w64-x86-64-posix or set MINGW_GCC_DIR")
endif()

set(libstdcxx_includes
  "-isystem ${MINGW_GCC_DIR}/include/c++"
  "-isystem ${MINGW_GCC_DIR}/include/c++/${mingw_triple}"
  "-isystem ${MINGW_GCC_DIR}/include/c++/backward")
string(JOIN " " CMAKE_CXX_FLAGS_INIT ${libstdcxx_includes})

# -B finds crtbegin.o/crtend.o, -L the libraries; the posix-thread runtime
# needs winpthread, which GCC's own driver would add.
set(gcc_runtime_link "-fuse-ld=lld -B${MINGW_GCC_DIR} -L${MINGW_GCC_DIR} -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${gcc_runtime_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${gcc_runtime_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${gcc_runtime_link}")

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
