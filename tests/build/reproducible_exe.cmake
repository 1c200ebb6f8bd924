# The same sources give the same tarn-kit.exe from two build folders (of
# different lengths, so that a folder name anywhere in the exe shows), both
# unsigned and signed without a time-stamp server; a wrong certificate
# password fails the build and leaves no exe.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
set(one "${WORK}/one")
set(other "${WORK}/another-folder")

# Runs a command whose output matters only when it does not end as expected.
function(run expect)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  list(JOIN ARGN " " command)
  if(expect STREQUAL "succeeds" AND NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${command}\n${output}")
  elseif(expect STREQUAL "fails" AND result EQUAL 0)
    message(FATAL_ERROR "succeeded: ${command}\n${output}")
  endif()
endfunction()

function(expect_same_exe what)
  file(SHA256 "${one}/tarn-kit.exe" hash_one)
  file(SHA256 "${other}/tarn-kit.exe" hash_other)
  if(NOT hash_one STREQUAL hash_other)
    execute_process(COMMAND cmp "${one}/tarn-kit.exe" "${other}/tarn-kit.exe" OUTPUT_VARIABLE first_difference)
    message(FATAL_ERROR "${what} tarn-kit.exe differs between build folders:\n"
                        "${hash_one}  ${one}/tarn-kit.exe\n${hash_other}  ${other}/tarn-kit.exe\n${first_difference}")
  endif()
  message(STATUS "${what}: ${hash_one} from both folders")
endfunction()

set(build ${CMAKE_COMMAND} --build)
set(exe_only --target tarn-kit -j2)

unset(ENV{TARNKIT_SIGN_PASSWORD})
foreach(dir IN ITEMS "${one}" "${other}")
  run(succeeds ${CMAKE_COMMAND} -S "${SOURCE}" --preset win32 -B "${dir}")
  run(succeeds ${build} "${dir}" ${exe_only})
endforeach()
expect_same_exe("unsigned")

# A self-signed code-signing certificate; the password has a quote, blanks
# and a shell variable in it, which must reach osslsigncode untouched, and a
# plain word that no escaping of the rest would hide in a build file.
set(plain_word "tarnkitPw7Kq2")
set(password "it's \"a\" $HOME ${plain_word}")
set(ENV{TARNKIT_SIGN_PASSWORD} "${password}")
run(succeeds ${OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 2
             -subj "/CN=tarn-kit test signer" -addext extendedKeyUsage=codeSigning
             -keyout "${WORK}/signer.key" -out "${WORK}/signer.pem")
run(succeeds ${OPENSSL} pkcs12 -export -inkey "${WORK}/signer.key" -in "${WORK}/signer.pem"
             -out "${WORK}/signer.pfx" -passout env:TARNKIT_SIGN_PASSWORD)
foreach(dir IN ITEMS "${one}" "${other}")
  run(succeeds ${CMAKE_COMMAND} -S "${SOURCE}" --preset win32 -B "${dir}" -DTARNKIT_SIGN_PFX=${WORK}/signer.pfx)
endforeach()

set(ENV{TARNKIT_SIGN_PASSWORD} "not ${password}")
run(fails ${build} "${one}" ${exe_only})
if(EXISTS "${one}/tarn-kit.exe")
  message(FATAL_ERROR "a failed signing left ${one}/tarn-kit.exe behind")
endif()

set(ENV{TARNKIT_SIGN_PASSWORD} "${password}")
run(succeeds ${build} "${one}" ${exe_only})
# More than a second apart, so that a signing time taken from the clock shows.
execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1.5)
run(succeeds ${build} "${other}" ${exe_only})
# Trusting the signer itself: the signature must be intact and its own.
execute_process(COMMAND ${OSSLSIGNCODE} verify -in "${one}/tarn-kit.exe" -CAfile "${WORK}/signer.pem"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "Subject: /CN=tarn-kit test signer")
  message(FATAL_ERROR "${one}/tarn-kit.exe is not signed by the test signer:\n${output}")
endif()
expect_same_exe("signed")

execute_process(COMMAND grep -rlF -e "${plain_word}" "${one}" "${other}" OUTPUT_VARIABLE holders)
if(holders)
  message(FATAL_ERROR "the certificate's password is written in the build folders:\n${holders}")
endif()
