# Runs the 32-bit test programs natively where this kernel executes 32-bit code, and through
# qemu-i386 (Debian's qemu-user) where it can't (a kernel built or booted without IA-32
# emulation refuses them with "Exec format error"). Decided by building and starting a
# trivial 32-bit program; CTest and gtest_discover_tests then prepend the emulator.
set(probe_dir ${CMAKE_BINARY_DIR}/i386_probe)
file(WRITE ${probe_dir}/probe.cpp
     "#include <cstdio>\nint main() { std::printf(\"%u\", unsigned(sizeof(void*))); }\n")
try_compile(i386_probe_built ${probe_dir}/build ${probe_dir}/probe.cpp
            COPY_FILE ${probe_dir}/probe OUTPUT_VARIABLE i386_probe_log)
if(NOT i386_probe_built)
  message(FATAL_ERROR "g++ -m32 can't build a program (install g++-multilib):\n${i386_probe_log}")
endif()
# (A file the kernel refuses is handed to /bin/sh by execute_process: judge by the output.)
execute_process(COMMAND ${probe_dir}/probe OUTPUT_VARIABLE i386_native ERROR_QUIET)
if(i386_native STREQUAL "4")
  message(STATUS "32-bit tests run natively")
  unset(CMAKE_CROSSCOMPILING_EMULATOR)
else()
  find_program(VEXA_QEMU_I386 qemu-i386 REQUIRED)
  execute_process(COMMAND ${VEXA_QEMU_I386} ${probe_dir}/probe OUTPUT_VARIABLE i386_emulated)
  if(NOT i386_emulated STREQUAL "4")
    message(FATAL_ERROR "Neither this kernel nor ${VEXA_QEMU_I386} runs a 32-bit program")
  endif()
  message(STATUS "32-bit tests run through ${VEXA_QEMU_I386} (this kernel does not run them)")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXA_QEMU_I386})
endif()
