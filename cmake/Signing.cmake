# Authenticode signing of the exe a technician hands out, when
# TARNKIT_SIGN_PFX is set (README). The signing itself runs at build time in
# sign_exe.cmake, the only place that reads the certificate's password.

# Signs target's exe in place after every link. A failed signing fails the
# build and removes the exe, so that no unsigned one is taken for the product.
function(tarnkit_sign_exe target)
  find_program(TARNKIT_OSSLSIGNCODE osslsigncode REQUIRED)
  if(NOT EXISTS "${TARNKIT_SIGN_PFX}" OR IS_DIRECTORY "${TARNKIT_SIGN_PFX}")
    message(FATAL_ERROR "TARNKIT_SIGN_PFX must name a PKCS#12 file, not \"${TARNKIT_SIGN_PFX}\"")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND}
            -DOSSLSIGNCODE=${TARNKIT_OSSLSIGNCODE}
            -DPFX=${TARNKIT_SIGN_PFX}
            -DTIMESTAMP_URL=${TARNKIT_SIGN_TIMESTAMP_URL}
            -DEXE=$<TARGET_FILE:${target}>
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/sign_exe.cmake
    COMMENT "Signing ${target} with ${TARNKIT_SIGN_PFX}"
    VERBATIM)
  # A certificate renewed under the same file name signs the exe again.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TARNKIT_SIGN_PFX})
endfunction()
