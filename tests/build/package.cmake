# The web host's package, made as the README tells a support desk: the
# release preset with a folder of clients (the end-to-end tests' fake client,
# signed by two test publishers), built and packed in two build folders from
# two copies of that folder. The archives are identical; the package holds
# the exe, the clients, README.txt and a SHA256SUMS that sha256sum accepts;
# the exe has exactly the packaged files' pins compiled in; a client update
# re-configures; and a hand-given value the client does not pass, or an
# unsigned or changed client under TARNKIT_VERIFY=publisher, stops with its name.
# The unpacked package stays in WORK/unpacked for the end-to-end test.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/run.cmake)

file(REMOVE_RECURSE "${WORK}")
set(clients "${WORK}/clients")
set(other_clients "${WORK}/the same clients")
file(MAKE_DIRECTORY "${clients}")
# RustDesk.exe's signature carries its signer's authority before the signer;
# the other publisher signs its update.
set(signed_files AnyDesk.exe RustDesk.exe RustDesk-update.exe)
set(certificates publisher untrusted-publisher-chain other-publisher)
foreach(file certificate IN ZIP_LISTS signed_files certificates)
  string(REGEX REPLACE "-chain$" "" key ${certificate})
  run(succeeds ${OSSLSIGNCODE} sign -certs ${CERTS}/${certificate}.pem -key ${CERTS}/${key}.key
      -h sha256 -n "tarn-kit test client" -time 1700000000 -in ${CLIENT} -out ${WORK}/${file})
endforeach()
file(RENAME ${WORK}/AnyDesk.exe ${clients}/AnyDesk.exe)
file(RENAME ${WORK}/RustDesk.exe ${clients}/RustDesk.exe)
file(COPY "${clients}/" DESTINATION "${other_clients}")

set(one "${WORK}/one")
set(other "${WORK}/another-folder")
set(archives tarn-kit-${VERSION}-win32.zip tarn-kit-${VERSION}-win32.tar.gz)
set(dirs "${one}" "${other}")
set(folders "${clients}" "${other_clients}")
foreach(dir from IN ZIP_LISTS dirs folders)
  run(succeeds ${CMAKE_COMMAND} -S ${SOURCE} --preset release -B ${dir} -DTARNKIT_WEB_HOST=${WEB_HOST}
      -DTARNKIT_VERIFY=both "-DTARNKIT_CLIENTS_DIR=${from}")
  if(NOT output MATCHES "tarn-ie11.exe: not in")
    message(FATAL_ERROR "configuring did not say that tarn-ie11.exe is missing:\n${output}")
  endif()
  run(succeeds ${CMAKE_COMMAND} --build ${dir} -j2)
  foreach(generator IN ITEMS ZIP TGZ)
    run(succeeds ${CPACK} -G ${generator} --config ${dir}/CPackConfig.cmake -B ${dir})
  endforeach()
endforeach()
foreach(archive IN LISTS archives)
  file(SHA256 "${one}/${archive}" hash_one)
  file(SHA256 "${other}/${archive}" hash_other)
  if(NOT hash_one STREQUAL hash_other)
    message(FATAL_ERROR "${archive} differs between build folders:\n${hash_one}  ${one}\n${hash_other}  ${other}")
  endif()
endforeach()

set(unpacked "${WORK}/unpacked")
file(MAKE_DIRECTORY "${unpacked}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${one}/tarn-kit-${VERSION}-win32.zip
                WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE result)
set(package "${unpacked}/tarn-kit-${VERSION}-win32")
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${package}" "${unpacked}/*")
list(SORT found)
set(expected README.txt SHA256SUMS downloads/AnyDesk.exe downloads/RustDesk.exe tarn-kit.exe)
if(NOT result EQUAL 0 OR NOT found STREQUAL expected)
  message(FATAL_ERROR "the package holds \"${found}\", not \"${expected}\"")
endif()
execute_process(COMMAND sha256sum --strict -c SHA256SUMS WORKING_DIRECTORY ${package}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(STRINGS "${package}/SHA256SUMS" listed)
list(TRANSFORM listed REPLACE "^[0-9a-f]+  " "")
list(REMOVE_ITEM expected SHA256SUMS)
if(NOT result EQUAL 0 OR NOT listed STREQUAL expected)
  message(FATAL_ERROR "SHA256SUMS lists \"${listed}\", not \"${expected}\", or does not hold:\n${output}")
endif()

set(pins "")
foreach(file IN ITEMS AnyDesk.exe RustDesk.exe)
  file(SHA256 "${clients}/${file}" hash)
  list(APPEND pins ${hash})
endforeach()
list(SORT pins)
file(STRINGS "${package}/tarn-kit.exe" compiled REGEX "^[0-9a-f]+$" LENGTH_MINIMUM 64 LENGTH_MAXIMUM 64)
# Less the C++ runtime's tables of two-digit numbers.
list(FILTER compiled EXCLUDE REGEX "^[0-9]+$")
list(SORT compiled)
if(NOT compiled STREQUAL pins)
  message(FATAL_ERROR "tarn-kit.exe has the pins \"${compiled}\" compiled in, not the clients' \"${pins}\"")
endif()
# Both are the same signer's, whose name the linker may keep once.
file(STRINGS "${package}/tarn-kit.exe" publishers REGEX "^tarn-kit .* (Publisher|Authority)$")
list(REMOVE_DUPLICATES publishers)
if(NOT publishers STREQUAL "tarn-kit Test Publisher")
  message(FATAL_ERROR "tarn-kit.exe has the publishers \"${publishers}\" compiled in, not the signers'")
endif()

# An update of RustDesk.exe, here by another publisher, is read at the next
# build, which configures again.
file(SHA256 "${other_clients}/RustDesk.exe" old_pin)
file(COPY_FILE "${WORK}/RustDesk-update.exe" "${other_clients}/RustDesk.exe")
file(SHA256 "${other_clients}/RustDesk.exe" new_pin)
run(succeeds ${CMAKE_COMMAND} --build ${other} --target tarn-kit -j2)
file(READ "${other}/generated/tarnkit_deploy.h" header)
if(NOT header MATCHES "SHA256_RUSTDESK \"${new_pin}\"" OR NOT header MATCHES "PUBLISHER_RUSTDESK \"tarn-kit Other Publisher\"")
  message(FATAL_ERROR "the updated RustDesk.exe was not read again:\n${header}")
endif()

# Given by hand, the old file's pin and publisher: the package refuses them.
set(given_values "TARNKIT_SHA256_ANYDESK=${old_pin}" "TARNKIT_PUBLISHER_RUSTDESK=tarn-kit Test Publisher")
set(refused_files AnyDesk.exe RustDesk.exe)
foreach(given file IN ZIP_LISTS given_values refused_files)
  run(succeeds ${CMAKE_COMMAND} -S ${SOURCE} -B ${other} -DTARNKIT_SHA256_ANYDESK= -DTARNKIT_PUBLISHER_RUSTDESK= "-D${given}")
  run(fails ${CPACK} -G ZIP --config ${other}/CPackConfig.cmake -B ${other})
  if(NOT output MATCHES "downloads/${file} is")
    message(FATAL_ERROR "packaging with ${given} did not name ${file}:\n${output}")
  endif()
endforeach()

# Under TARNKIT_VERIFY=publisher, an unsigned Aweray.exe, and a signed one
# with a byte of its code changed since, stop configuring with its name.
file(COPY_FILE ${CLIENT} "${WORK}/unsigned.exe")
file(COPY_FILE "${WORK}/RustDesk-update.exe" "${WORK}/changed.exe")
run(succeeds ${PYTHON} -c "import sys\nf = open(sys.argv[1], 'r+b')\nf.seek(1024)\nb = f.read(1)\nf.seek(1024)\nf.write(bytes([b[0] ^ 1]))"
    "${WORK}/changed.exe")
set(kinds unsigned changed)
set(reasons "it carries no signature" "its content is not the content that was signed")
foreach(kind reason IN ZIP_LISTS kinds reasons)
  file(COPY_FILE "${WORK}/${kind}.exe" "${other_clients}/Aweray.exe")
  run(fails ${CMAKE_COMMAND} -S ${SOURCE} -B ${other} -DTARNKIT_VERIFY=publisher -DTARNKIT_PUBLISHER_RUSTDESK=)
  if(NOT output MATCHES "Aweray.exe: ${reason}")
    message(FATAL_ERROR "configuring with a ${kind} Aweray.exe under TARNKIT_VERIFY=publisher did not name it:\n${output}")
  endif()
endforeach()
