# Runs every row in a fresh cmake (a refused value ends the script that
# checks it), then compiles the header written for hostile values and
# compares what the program holds, byte for byte.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/Deployment.cmake)

if(DEFINED ROW_VAR)
  set(TARNKIT_WEB_HOST host.example)
  set(TARNKIT_SUPPORT_PHONE 02-1234)
  set(TARNKIT_GSN_PROXY_HOST gsn.example)
  set(TARNKIT_RUSTDESK_HOST rd.example)
  # Read from a file: a command line would split it at ';' or lose quotes.
  file(READ "${ROW_FILE}" ${ROW_VAR})
  tarnkit_check_deployment()
  return()
endif()

# Each row: whether the values are let through, the variable, its values.
function(rows outcome var)
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE 2 ${last})
    set(value "${ARGV${i}}")
    file(WRITE ${WORK}/row.txt "${value}")
    execute_process(COMMAND ${CMAKE_COMMAND} -DROW_VAR=${var} -DROW_FILE=${WORK}/row.txt -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
                    RESULT_VARIABLE result ERROR_VARIABLE error)
    string(FIND "${error}" "${var} must" named)
    if(outcome STREQUAL "pass" AND NOT result EQUAL 0)
      message(SEND_ERROR "${var}=\"${value}\" refused:\n${error}")
    elseif(outcome STREQUAL "fail" AND (result EQUAL 0 OR named EQUAL -1))
      message(SEND_ERROR "${var}=\"${value}\" not refused naming ${var}:\n${error}")
    endif()
  endforeach()
endfunction()

rows(pass TARNKIT_WEB_HOST "support.example.com" "127.0.0.1:65535")
rows(fail TARNKIT_WEB_HOST "127.0.0.1:0" "127.0.0.1:65536" "127.0.0.1:08080" "support\".example.com" "")
rows(fail TARNKIT_GSN_PROXY_HOST "gsn proxy.example" "gsn.example:8080")
rows(pass TARNKIT_RUSTDESK_HOST "rd-1.example.com")
rows(fail TARNKIT_RUSTDESK_HOST "rd.example.com\n")
rows(pass TARNKIT_SUPPORT_PHONE "+886 (2) 2700-1234 #5")
rows(fail TARNKIT_SUPPORT_PHONE "0800-CALL-US")
rows(pass TARNKIT_RUSTDESK_KEY "" "Zm9vYmFy+/09AB==")
rows(fail TARNKIT_RUSTDESK_KEY "Zm9v\tYmFy" "Zm9v\"YmFy" "Zm9vYmFy\n" "Zm9v=YmFy")
rows(pass TARNKIT_SHA256_ANYDESK "0123456789ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef")
rows(fail TARNKIT_SHA256_IE11 "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcde"
                              "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdeg"
                              "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0")
string(REPEAT "森" 128 longest)
rows(pass TARNKIT_PUBLISHER_ANYDESK "" "AnyDesk Software GmbH" "小森科技有限公司" "${longest}")
rows(fail TARNKIT_PUBLISHER_RUSTDESK "Purslane \"Ltd\"" "O'Neil Ltd" "a\tb" "${longest}x")

# The writer trusts nothing the checks let through: quote, backslash, control
# bytes with a digit after them, '?', CMake's own markers, ';' and UTF-8.
string(ASCII 1 127 control)
set(hostile "q\"b\\t\tn\nr\r7${control}8??/@TARNKIT_WEB_HOST@\${x};遠端é")
foreach(name WEB_HOST SUPPORT_PHONE GSN_PROXY_HOST RUSTDESK_HOST RUSTDESK_KEY
             SHA256_ANYDESK SHA256_RUSTDESK SHA256_AWERAY SHA256_AEROADMIN SHA256_IE11
             PUBLISHER_ANYDESK PUBLISHER_RUSTDESK PUBLISHER_AWERAY PUBLISHER_AEROADMIN PUBLISHER_IE11)
  set(TARNKIT_${name} "${name}${hostile}")
  string(APPEND expected "${name}${hostile}|")
  string(APPEND puts "put(TARNKIT_${name});")
endforeach()
tarnkit_write_deployment_header(${WORK}/tarnkit_deploy.h)
file(WRITE ${WORK}/print.cpp "#include <cstdio>\n#include \"tarnkit_deploy.h\"\n"
  "#define put(v) std::fwrite(v \"|\", 1, sizeof(v \"|\") - 1, stdout)\nint main() { ${puts} }\n")
execute_process(COMMAND ${CXX} -std=c++20 -Wall -Wextra -Wpedantic -Werror -o ${WORK}/print ${WORK}/print.cpp
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${WORK}/print OUTPUT_FILE ${WORK}/printed.bin COMMAND_ERROR_IS_FATAL ANY)
file(READ ${WORK}/printed.bin printed HEX)
string(HEX "${expected}" expected)
if(NOT printed STREQUAL expected)
  message(SEND_ERROR "the header does not hold the values byte for byte (hex):\nheld:     ${printed}\nexpected: ${expected}")
endif()
