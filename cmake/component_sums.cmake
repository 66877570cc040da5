# Reads COMPONENT_SHA256SUMS, the path of a file in the format sha256sum writes
# ("<64 hex digits>  <name>" or "<64 hex digits> *<name>", one component a line), into
# COMPONENT_SHA256_ENTRIES: one "{name, digest}" initialiser per component, the digest in
# lower-case hexadecimal, empty for every component when no file is given. Refuses, in one
# sentence naming the line, a malformed line, a name that is no component, a name given twice
# and a component the file leaves out. Included by the project; also runs alone:
#   cmake -DCOMPONENT_SHA256SUMS=components.sha256 -P cmake/component_sums.cmake

# The components, exactly as the install manifest names them (src/engine/manifest.cpp).
set(VEXA_COMPONENTS comcat.dll MCI32.OCX stdole2.tlb shdocvw.dll shdocvw.oca msxml3.dll
    MSINET.OCX COMDLG32.OCX)

foreach(name IN LISTS VEXA_COMPONENTS)
  set(digest_${name} "")
endforeach()

if(NOT COMPONENT_SHA256SUMS STREQUAL "")
  set(sums "COMPONENT_SHA256SUMS ${COMPONENT_SHA256SUMS}")
  if(NOT EXISTS "${COMPONENT_SHA256SUMS}" OR IS_DIRECTORY "${COMPONENT_SHA256SUMS}")
    message(FATAL_ERROR "${sums}: no such file.")
  endif()
  if(NOT CMAKE_SCRIPT_MODE_FILE)  # a changed file is read again at the next build
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${COMPONENT_SHA256SUMS}")
  endif()
  file(READ "${COMPONENT_SHA256SUMS}" content)
  # One list element per line; characters that CMake's lists would read as structure become
  # "?", which no well-formed line holds.
  string(REGEX REPLACE "[][;]" "?" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(number 0)
  set(last 0)  # the last line that says something
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REGEX REPLACE "\r$" "" line "${line}")  # a file saved with CR LF
    if(line STREQUAL "")
      continue()
    endif()
    set(last ${number})
    set(length 0)
    if(line MATCHES "^([0-9a-fA-F]+) [ *](.+)$")
      string(LENGTH "${CMAKE_MATCH_1}" length)
    endif()
    if(NOT length EQUAL 64)
      message(FATAL_ERROR "${sums}, line ${number}: \"${line}\" is not \"<64 hex digits>  "
                          "<name>\" or \"<64 hex digits> *<name>\".")
    endif()
    set(name "${CMAKE_MATCH_2}")
    string(TOLOWER "${CMAKE_MATCH_1}" digest)
    list(FIND VEXA_COMPONENTS "${name}" known_at)
    if(known_at EQUAL -1)
      string(REPLACE ";" " " known "${VEXA_COMPONENTS}")
      message(FATAL_ERROR "${sums}, line ${number}: \"${name}\" is none of the components "
                          "(${known}; names are case-sensitive).")
    endif()
    if(DEFINED line_of_${name})
      message(FATAL_ERROR "${sums}, line ${number}: ${name} is given a second time (first on "
                          "line ${line_of_${name}}).")
    endif()
    set(line_of_${name} ${number})
    set(digest_${name} "${digest}")
  endforeach()
  foreach(name IN LISTS VEXA_COMPONENTS)
    if(NOT DEFINED line_of_${name})
      message(FATAL_ERROR "${sums}: none of its lines (1 to ${last}) gives ${name}.")
    endif()
  endforeach()
endif()

set(COMPONENT_SHA256_ENTRIES "")
foreach(name IN LISTS VEXA_COMPONENTS)
  string(APPEND COMPONENT_SHA256_ENTRIES "    {u\"${name}\", u\"${digest_${name}}\"},\n")
endforeach()
