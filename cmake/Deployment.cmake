# The deployment values a technician sets when configuring, and the header
# that compiles them in. The product and the end-to-end tests' loopback build
# both go through here, so neither can compile in a value the other would stop.

# The client programs that each have a pin (TARNKIT_SHA256_<client>) and a
# publisher (TARNKIT_PUBLISHER_<client>), and, in the same order, the names
# their program files are served and checked under (launch/Catalogue.cpp).
set(TARNKIT_CLIENTS ANYDESK RUSTDESK AWERAY AEROADMIN IE11)
set(TARNKIT_CLIENT_FILES AnyDesk.exe RustDesk.exe Aweray.exe AeroAdmin.exe tarn-ie11.exe)

# Sets out_var to the list of value's bytes, as numbers.
function(tarnkit_bytes out_var value)
  string(HEX "${value}" hex)
  string(LENGTH "${hex}" hex_length)
  set(bytes "")
  set(i 0)
  while(i LESS hex_length)
    string(SUBSTRING "${hex}" ${i} 2 byte_hex)
    math(EXPR i "${i} + 2")
    math(EXPR byte "0x${byte_hex}")
    list(APPEND bytes ${byte})
  endwhile()
  set(${out_var} "${bytes}" PARENT_SCOPE)
endfunction()

# Stops configuring unless every deployment value in the caller's scope is one
# the program can put into a URL, a reminder or a client's configuration file
# as it is: those files are written without quoting of their own.
function(tarnkit_check_deployment)
  set(host_chars "letters, digits, dots and hyphens")
  foreach(host IN ITEMS TARNKIT_GSN_PROXY_HOST TARNKIT_RUSTDESK_HOST)
    if(NOT "${${host}}" MATCHES "^[A-Za-z0-9.-]+$")
      message(FATAL_ERROR "${host} must be a host name of ${host_chars}, not \"${${host}}\"")
    endif()
  endforeach()

  set(web_rule "TARNKIT_WEB_HOST must be a host name of ${host_chars}, optionally followed by :port with a port from 1 to 65535")
  if(NOT "${TARNKIT_WEB_HOST}" MATCHES "^[A-Za-z0-9.-]+(:([0-9]+))?$")
    message(FATAL_ERROR "${web_rule}, not \"${TARNKIT_WEB_HOST}\"")
  endif()
  if(CMAKE_MATCH_1)
    set(port "${CMAKE_MATCH_2}")
    # A leading zero is refused rather than read past: more likely a slip
    # than meant, and it also refuses port 0.
    if(port MATCHES "^0" OR port GREATER 65535)
      message(FATAL_ERROR "${web_rule}, not \"${TARNKIT_WEB_HOST}\"")
    endif()
  endif()

  if(NOT "${TARNKIT_SUPPORT_PHONE}" MATCHES "^[0-9 ()#+-]+$")
    message(FATAL_ERROR "TARNKIT_SUPPORT_PHONE must be digits, blanks and + - ( ) #, not \"${TARNKIT_SUPPORT_PHONE}\"")
  endif()

  # Written into RustDesk's TOML configuration; base64 needs no quoting there.
  if(NOT "${TARNKIT_RUSTDESK_KEY}" MATCHES "^([A-Za-z0-9+/]+(==?)?)?$")
    message(FATAL_ERROR "TARNKIT_RUSTDESK_KEY must be base64 (A-Z a-z 0-9 + / with = padding at the end) or empty, not \"${TARNKIT_RUSTDESK_KEY}\"")
  endif()

  foreach(client IN LISTS TARNKIT_CLIENTS)
    set(pin TARNKIT_SHA256_${client})
    string(LENGTH "${${pin}}" pin_length)
    if(NOT pin_length EQUAL 0 AND (NOT pin_length EQUAL 64 OR NOT "${${pin}}" MATCHES "^[0-9A-Fa-f]+$"))
      message(FATAL_ERROR "${pin} must be 64 hexadecimal digits or empty, not \"${${pin}}\"")
    endif()
    # Compiled in lower case, as the hashes are compared.
    string(TOLOWER "${${pin}}" lower)
    set(${pin} "${lower}" PARENT_SCOPE)
  endforeach()

  # A certificate's display name: any printable letters, Chinese included,
  # but no quotes or control characters, at most 128 of them.
  foreach(client IN LISTS TARNKIT_CLIENTS)
    set(publisher TARNKIT_PUBLISHER_${client})
    set(rule "${publisher} must be a publisher's name of at most 128 printable characters without quotes, or empty")
    tarnkit_bytes(bytes "${${publisher}}")
    set(characters 0)
    foreach(byte IN LISTS bytes)
      if(byte LESS 32 OR byte EQUAL 127 OR byte EQUAL 34 OR byte EQUAL 39)
        message(FATAL_ERROR "${rule}, not \"${${publisher}}\"")
      endif()
      # UTF-8 continuation bytes belong to the character before them.
      if(byte LESS 128 OR byte GREATER_EQUAL 192)
        math(EXPR characters "${characters} + 1")
      endif()
    endforeach()
    if(characters GREATER 128)
      message(FATAL_ERROR "${rule}, not \"${${publisher}}\"")
    endif()
  endforeach()
endfunction()

# Sets out_var to value as the inside of a C++ narrow string literal that
# holds the same bytes. It does not trust the checks above: every byte other
# than a plain printable character becomes a three-digit octal escape, which,
# unlike \x, cannot run on into a digit that follows it. '?' is escaped too,
# so that no trigraph forms where a compiler still reads them.
function(tarnkit_c_string_body out_var value)
  tarnkit_bytes(bytes "${value}")
  set(body "")
  foreach(byte IN LISTS bytes)
    if(byte GREATER_EQUAL 32 AND byte LESS 127 AND NOT byte EQUAL 34 AND NOT byte EQUAL 63 AND NOT byte EQUAL 92)
      string(ASCII ${byte} char)
      string(APPEND body "${char}")
    else()
      math(EXPR high "${byte} / 64")
      math(EXPR middle "${byte} / 8 % 8")
      math(EXPR low "${byte} % 8")
      string(APPEND body "\\${high}${middle}${low}")
    endif()
  endforeach()
  set(${out_var} "${body}" PARENT_SCOPE)
endfunction()

# Writes the deployment header at output from the TARNKIT_* values in the
# caller's scope. configure_file leaves an unchanged header untouched, so a
# re-configure does not rebuild what includes it.
function(tarnkit_write_deployment_header output)
  set(names TARNKIT_WEB_HOST TARNKIT_SUPPORT_PHONE TARNKIT_GSN_PROXY_HOST TARNKIT_RUSTDESK_HOST
            TARNKIT_RUSTDESK_KEY)
  foreach(client IN LISTS TARNKIT_CLIENTS)
    list(APPEND names TARNKIT_SHA256_${client} TARNKIT_PUBLISHER_${client})
  endforeach()
  foreach(name IN LISTS names)
    # Shadows the caller's value in this function only; configure_file then
    # fills the template with the escaped text in a single pass.
    tarnkit_c_string_body(${name} "${${name}}")
  endforeach()
  if(TARNKIT_HTTPS)
    set(TARNKIT_HTTPS_VALUE 1)
  else()
    set(TARNKIT_HTTPS_VALUE 0)
  endif()
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../launch/tarnkit_deploy.h.in ${output} @ONLY)
endfunction()
