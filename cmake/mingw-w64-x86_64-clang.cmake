# Cross build for 64-bit Windows with clang on the MinGW-w64 GCC's headers and libraries (posix
# threads): a second compiler's reading of the same sources. The GCC build's toolchain gives the
# target, the resource compiler, the find-root rules and Wine; only the compilers differ.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_SYSROOT /usr/x86_64-w64-mingw32)

# clang finds the target's C headers in the sysroot but not GCC's C++ library: take the
# posix-threads GCC's, with its libraries and winpthread (-pthread), which they call. That
# library keeps thread_local variables the way GCC does on Windows: emulated.
execute_process(COMMAND x86_64-w64-mingw32-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(gcc_dir "${libgcc}" DIRECTORY)
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -isystem ${gcc_dir}/include/c++ \
-isystem ${gcc_dir}/include/c++/x86_64-w64-mingw32 -isystem ${gcc_dir}/include/c++/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${gcc_dir} -pthread")
# The linker then says "duplicate section ... has different size" for the type-name strings that
# the two compilers lay out differently; it keeps one of them, and the types compare equal.
