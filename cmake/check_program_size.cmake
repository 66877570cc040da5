# Fails when the shipped program (PROGRAM, the 32-bit build of the preset mingw) is larger than
# 512 KiB, the size it must stay within. Run by CTest:
#   cmake -DPROGRAM=build/mingw/vexa_update.exe -P cmake/check_program_size.cmake
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "${PROGRAM} is not built: cmake --preset mingw && cmake --build --preset mingw")
endif()
file(SIZE "${PROGRAM}" size)
math(EXPR limit "512 * 1024")
if(size GREATER limit)
  message(FATAL_ERROR "${PROGRAM} is ${size} bytes, more than the ${limit} it must stay within")
endif()
message(STATUS "${PROGRAM}: ${size} bytes of ${limit}")
