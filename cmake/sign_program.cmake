# Run as: cmake -DOSSLSIGNCODE=... -DPROGRAM=... -DCERT=... -DKEY=... [-DTIMESTAMP=url]
#         [-DDESCRIPTION=text] -P sign_program.cmake
# Signs PROGRAM (Authenticode, SHA-256) into a file beside it, then puts that in its place.
# When signing fails the unsigned program is deleted as well, so that the next build links
# and signs it again instead of taking it for finished.
set(signed "${PROGRAM}.signing")
set(args sign -h sha256 -certs "${CERT}" -key "${KEY}")
if(DESCRIPTION)
  list(APPEND args -n "${DESCRIPTION}")
endif()
if(TIMESTAMP)
  list(APPEND args -ts "${TIMESTAMP}")
endif()
file(REMOVE "${signed}")
execute_process(COMMAND "${OSSLSIGNCODE}" ${args} -in "${PROGRAM}" -out "${signed}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE "${signed}" "${PROGRAM}")
  message(FATAL_ERROR "osslsigncode could not sign ${PROGRAM} (${result}):\n${output}")
endif()
# osslsigncode writes its output without the execute permission the linker gave the program.
file(CHMOD "${signed}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(RENAME "${signed}" "${PROGRAM}")
