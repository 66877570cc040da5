# vexa_sign_program(<target>): signs the target's program with osslsigncode each time it is
# linked, when VEXA_SIGN_CERT and VEXA_SIGN_KEY name a certificate and its key (time-stamped
# when VEXA_SIGN_TIMESTAMP_URL is set). A new certificate or key links the program again, so
# it is signed anew.
function(vexa_sign_program target)
  if(NOT VEXA_SIGN_CERT AND NOT VEXA_SIGN_KEY)
    return()
  endif()
  if(NOT VEXA_SIGN_CERT OR NOT VEXA_SIGN_KEY)
    message(FATAL_ERROR "Signing needs both VEXA_SIGN_CERT and VEXA_SIGN_KEY.")
  endif()
  foreach(file ${VEXA_SIGN_CERT} ${VEXA_SIGN_KEY})
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "The signing file ${file} does not exist (test certificates: "
                          "tests/e2e/make_test_certs.sh).")
    endif()
  endforeach()
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${OSSLSIGNCODE} -DPROGRAM=$<TARGET_FILE:${target}>
            -DCERT=${VEXA_SIGN_CERT} -DKEY=${VEXA_SIGN_KEY} -DTIMESTAMP=${VEXA_SIGN_TIMESTAMP_URL}
            -DDESCRIPTION=${PROJECT_NAME}
            -P ${PROJECT_SOURCE_DIR}/cmake/sign_program.cmake
    COMMENT "Signing $<TARGET_FILE_NAME:${target}> with ${VEXA_SIGN_CERT}"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VEXA_SIGN_CERT} ${VEXA_SIGN_KEY})
endfunction()
