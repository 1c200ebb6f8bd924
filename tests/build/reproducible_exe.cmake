# The same sources give the same tarn-kit.exe from two build folders (of
# different lengths, so that a folder name anywhere in the exe shows), both
# unsigned and signed without a time-stamp server; a wrong certificate
# password fails the build and leaves no exe; and the signed exe passes the
# launcher's own publisher check under Wine, as Windows would check it.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
set(one "${WORK}/one")
set(other "${WORK}/another-folder")

include(${CMAKE_CURRENT_LIST_DIR}/run.cmake)

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

# The test publisher's certificate, issued by the test authority
# (tests/support/make_certs.py, made by the build of win_tests), with that
# authority, as a vendor's PKCS#12 file carries it. Its password has a quote,
# blanks and a shell variable in it, which must reach osslsigncode untouched,
# and a plain word that no escaping of the rest would hide in a build file.
set(publisher "tarn-kit Test Publisher")
if(NOT EXISTS "${CERTS}/publisher.pem")
  message(FATAL_ERROR "no test certificates in ${CERTS}: build win_tests first")
endif()
set(plain_word "tarnkitPw7Kq2")
set(password "it's \"a\" $HOME ${plain_word}")
set(ENV{TARNKIT_SIGN_PASSWORD} "${password}")
run(succeeds ${OPENSSL} pkcs12 -export -inkey "${CERTS}/publisher.key" -in "${CERTS}/publisher.pem"
             -certfile "${CERTS}/ca.pem" -out "${WORK}/signer.pfx" -passout env:TARNKIT_SIGN_PASSWORD)
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
# Trusting the test authority: the signature must be intact and the publisher's.
execute_process(COMMAND ${OSSLSIGNCODE} verify -in "${one}/tarn-kit.exe" -CAfile "${CERTS}/ca.pem"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "Subject: /CN=${publisher}")
  message(FATAL_ERROR "${one}/tarn-kit.exe is not signed by the test publisher:\n${output}")
endif()
expect_same_exe("signed")
# osslsigncode's verdict is not Windows': the launcher's own check, through the
# system's trust services, must take the exe for the publisher's too. The
# file is named as Wine's Z: drive shows it.
string(REPLACE "/" "\\" exe_on_z "Z:${one}/tarn-kit.exe")
run(succeeds ${EMULATOR} "${CHECKER}" "${exe_on_z}" "${publisher}")

execute_process(COMMAND grep -rlF -e "${plain_word}" "${one}" "${other}" OUTPUT_VARIABLE holders)
if(holders)
  message(FATAL_ERROR "the certificate's password is written in the build folders:\n${holders}")
endif()
