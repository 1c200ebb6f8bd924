# The checks of the client program files, taken from the files themselves:
# with TARNKIT_CLIENTS_DIR naming the folder that holds them under their
# served names, configuring fills each present file's pin and/or publisher,
# as TARNKIT_VERIFY asks, and the package (Package.cmake) carries the files.
# Included by the top-level CMakeLists.txt before the values are checked.
include_guard(GLOBAL)
set(TARNKIT_SIGNER_NAME_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/signer_name.py)

# Sets out_var to the publisher of file: the display name of its Authenticode
# signer, read as the exe reads it (signer_name.py). Stops with a message
# naming the file when it carries no intact signature. Shared with the
# package's own check, which runs at install time with PYTHON set.
function(tarnkit_signer_name out_var file python)
  execute_process(COMMAND ${python} ${TARNKIT_SIGNER_NAME_SCRIPT} ${file}
                  RESULT_VARIABLE result OUTPUT_VARIABLE name ERROR_VARIABLE reason)
  if(NOT result EQUAL 0)
    string(STRIP "${reason}" reason)
    message(FATAL_ERROR "${reason}, so it has no publisher to check. A publisher is taken from, and "
                        "checked against, a client's signature; pin an unsigned client instead "
                        "(TARNKIT_VERIFY=pin).")
  endif()
  set(${out_var} "${name}" PARENT_SCOPE)
endfunction()

# Sets, in the caller's scope, TARNKIT_SHA256_<client> and/or
# TARNKIT_PUBLISHER_<client> of each client file present in
# TARNKIT_CLIENTS_DIR, and TARNKIT_PACKAGED_CLIENTS to the files present. A
# value given in the cache is left as given: it wins over the file. The
# values are set as plain variables that shadow the cache, so the next
# configure, after a client update, reads the file again rather than the
# value read the time before.
function(tarnkit_read_clients)
  if(NOT TARNKIT_VERIFY MATCHES "^(pin|publisher|both)$")
    message(FATAL_ERROR "TARNKIT_VERIFY must be pin, publisher or both, not \"${TARNKIT_VERIFY}\"")
  endif()
  set(TARNKIT_PACKAGED_CLIENTS "" PARENT_SCOPE)
  if("${TARNKIT_CLIENTS_DIR}" STREQUAL "")
    return()
  endif()
  get_filename_component(dir "${TARNKIT_CLIENTS_DIR}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
  if(NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "TARNKIT_CLIENTS_DIR must name a folder of client program files, not \"${TARNKIT_CLIENTS_DIR}\"")
  endif()
  set(take_pin FALSE)
  set(take_publisher FALSE)
  if(TARNKIT_VERIFY MATCHES "^(pin|both)$")
    set(take_pin TRUE)
  endif()
  if(TARNKIT_VERIFY MATCHES "^(publisher|both)$")
    set(take_publisher TRUE)
    find_program(TARNKIT_PYTHON3 python3 REQUIRED)
  endif()
  # The folder's own time changes when a file is added, removed or renamed
  # in it; each file's when it is written over.
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${dir}")
  set(present "")
  foreach(client file IN ZIP_LISTS TARNKIT_CLIENTS TARNKIT_CLIENT_FILES)
    set(path "${dir}/${file}")
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
      message(STATUS "${file}: not in ${dir}; not packaged, and its checks are only those given")
      continue()
    endif()
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
    list(APPEND present "${file}")
    set(pin TARNKIT_SHA256_${client})
    set(publisher TARNKIT_PUBLISHER_${client})
    if(take_pin)
      if(NOT "${${pin}}" STREQUAL "")
        message(STATUS "${file}: pin ${${pin}} as given in ${pin}")
      else()
        file(SHA256 "${path}" hash)
        set(${pin} "${hash}" PARENT_SCOPE)
        message(STATUS "${file}: pin ${hash}")
      endif()
    endif()
    if(take_publisher)
      if(NOT "${${publisher}}" STREQUAL "")
        message(STATUS "${file}: publisher \"${${publisher}}\" as given in ${publisher}")
      else()
        tarnkit_signer_name(name "${path}" "${TARNKIT_PYTHON3}")
        set(${publisher} "${name}" PARENT_SCOPE)
        message(STATUS "${file}: publisher \"${name}\"")
      endif()
    endif()
  endforeach()
  set(TARNKIT_PACKAGED_CLIENTS "${present}" PARENT_SCOPE)
  set(TARNKIT_CLIENTS_FOLDER "${dir}" PARENT_SCOPE)
endfunction()
