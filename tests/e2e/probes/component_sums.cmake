# Writes OUT, the sums file of the pinned test builds (presets *-loopback-pinned): every
# component's SHA-256 is that of BODY, the component probe the site serves for each of them.
# Run after the probe is linked: cmake -DBODY=component.dll -DOUT=... -P component_sums.cmake
set(COMPONENT_SHA256SUMS "")
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/component_sums.cmake)  # VEXA_COMPONENTS
file(SHA256 "${BODY}" digest)
set(sums "")
foreach(name IN LISTS VEXA_COMPONENTS)
  string(APPEND sums "${digest}  ${name}\n")
endforeach()
set(old "")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL sums)  # unchanged, it does not make the pinned builds configure again
  file(WRITE "${OUT}" "${sums}")
endif()
