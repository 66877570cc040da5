# The portable logic and its unit tests built as 32-bit Linux programs (g++ -m32, Debian's
# g++-multilib), so sizes and counts are as narrow as in the shipped 32-bit program.
# GoogleTest is built from Debian's sources for -m32 (VEXA_GTEST_SOURCE); the host's 64-bit
# libgtest can't be linked. cmake/i386_runner.cmake decides how the tests are run.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
# Look for libraries and packages only in the 32-bit places, never the host's 64-bit ones.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(FIND_LIBRARY_USE_LIB32_PATHS ON)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE NEVER)
