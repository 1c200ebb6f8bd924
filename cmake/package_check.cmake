# Run at install time, last, by the check.cmake that Package.cmake writes
# with the values compiled into tarn-kit.exe. It refuses a package whose
# exe would refuse a client it carries, writes SHA256SUMS over the staged
# files and gives every file and folder a fixed mode, so that the archive
# does not depend on the umask of whoever packs it.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Clients.cmake)

set(stage "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

foreach(client file IN ZIP_LISTS TARNKIT_CLIENTS TARNKIT_CLIENT_FILES)
  set(path "${stage}/downloads/${file}")
  if(NOT EXISTS "${path}")
    continue()
  endif()
  set(pin "${TARNKIT_SHA256_${client}}")
  if(NOT pin STREQUAL "")
    file(SHA256 "${path}" hash)
    if(NOT hash STREQUAL pin)
      message(FATAL_ERROR "downloads/${file} is not the file tarn-kit.exe accepts: its SHA-256 is ${hash}, "
                          "but TARNKIT_SHA256_${client} is ${pin}. Was that pin given for another version of "
                          "the file? Leave it empty to take the file's own.")
    endif()
  endif()
  set(publisher "${TARNKIT_PUBLISHER_${client}}")
  if(NOT publisher STREQUAL "")
    tarnkit_signer_name(signer "${path}" "${TARNKIT_PYTHON3}")
    if(NOT signer STREQUAL publisher)
      message(FATAL_ERROR "downloads/${file} is signed by \"${signer}\", but tarn-kit.exe accepts only "
                          "\"${publisher}\" (TARNKIT_PUBLISHER_${client}).")
    endif()
  endif()
endforeach()

# Every other file of the package, by its path from the package's folder, in
# a fixed order, as sha256sum writes and checks them. Only the files the
# install rules put there: an install into a folder that holds more does
# not list, or change, what is not the package's.
set(files README.txt tarn-kit.exe)
foreach(file IN LISTS TARNKIT_CLIENT_FILES)
  if(EXISTS "${stage}/downloads/${file}")
    list(APPEND files "downloads/${file}")
  endif()
endforeach()
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${stage}/${file}" hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE "${stage}/SHA256SUMS" "${sums}")

# A web host serves the files; nothing in the package runs there.
list(TRANSFORM files PREPEND "${stage}/")
file(CHMOD ${files} "${stage}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
