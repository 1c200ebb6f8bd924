# Signs EXE in place with the PKCS#12 file PFX, run by the build after the
# link (Signing.cmake):
#   cmake -DOSSLSIGNCODE=... -DPFX=... -DTIMESTAMP_URL=... -DEXE=... -P sign_exe.cmake
# The password is taken from TARNKIT_SIGN_PASSWORD here, at build time, and
# reaches osslsigncode on its standard input: a command line would show it in
# the build log and to every user's process list, and a file could outlive a
# killed build.
cmake_minimum_required(VERSION 3.25)

set(args sign -pkcs12 "${PFX}" -h sha256 -n tarn-kit)
if(TIMESTAMP_URL)
  list(APPEND args -ts "${TIMESTAMP_URL}")
else()
  # Without a time-stamp server the signing time is the signer's own claim,
  # which Windows does not trust; a fixed one keeps a signed exe reproducible.
  # SOURCE_DATE_EPOCH sets it where a build wants a meaningful one.
  set(time 0)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(time "$ENV{SOURCE_DATE_EPOCH}")
    if(NOT time MATCHES "^[0-9]+$")
      message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, not \"${time}\"")
    endif()
  endif()
  list(APPEND args -time ${time})
endif()

# osslsigncode refuses to write over its input: it writes beside the exe,
# which is replaced only by a complete signed file.
set(signed "${EXE}.signing")
file(REMOVE "${signed}")
if("$ENV{TARNKIT_SIGN_PASSWORD}" STREQUAL "")
  # osslsigncode reads no empty password from standard input; without one it
  # tries the empty password itself.
  execute_process(COMMAND ${OSSLSIGNCODE} ${args} -in "${EXE}" -out "${signed}"
                  RESULT_VARIABLE result)
else()
  # printf is the shell's own: the password is in no process's arguments.
  execute_process(COMMAND /bin/sh -c "printf '%s' \"\$TARNKIT_SIGN_PASSWORD\""
                  COMMAND ${OSSLSIGNCODE} ${args} -readpass - -in "${EXE}" -out "${signed}"
                  RESULT_VARIABLE result)
endif()

if(NOT result EQUAL 0 OR NOT EXISTS "${signed}")
  file(REMOVE "${signed}" "${EXE}")
  message(FATAL_ERROR "Signing ${EXE} with ${PFX} failed, as osslsigncode says above; the unsigned "
                      "exe is removed. The certificate's password is read from the environment "
                      "variable TARNKIT_SIGN_PASSWORD.")
endif()
file(RENAME "${signed}" "${EXE}")
