# The support desk's package for its web host, made by CPack (README): one
# folder holding tarn-kit.exe, downloads/ with the client files under the
# names the exe requests, README.txt, and SHA256SUMS over the rest. Before
# the archive is written, package_check.cmake checks each client against
# the pin and publisher compiled into the exe. Every file is staged with a
# fixed mode and archived with a fixed time, so the same sources, values and
# clients give the same archive from any build folder on any day.
# Included by the top-level CMakeLists.txt once the deployment values are
# final and the exe is defined.
include_guard(GLOBAL)

# Sets out_var to value as a CMake bracket argument, in which nothing is
# escaped or expanded: a publisher's name may hold any printable character.
function(tarnkit_cmake_literal out_var value)
  set(equals "")
  string(FIND "${value}]" "]${equals}]" at)
  while(NOT at EQUAL -1)
    string(APPEND equals "=")
    string(FIND "${value}]" "]${equals}]" at)
  endwhile()
  set(${out_var} "[${equals}[${value}]${equals}]" PARENT_SCOPE)
endfunction()

file(STRINGS ${CMAKE_SOURCE_DIR}/resources/version.h version_lines REGEX "#define TARNKIT_VERSION_(TEXT|YEAR|MONTH) ")
foreach(line IN LISTS version_lines)
  if(line MATCHES "TARNKIT_VERSION_([A-Z]+) \"?([0-9.]+)")
    set(version_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()

# The files' time in the archive: noon UTC on the first day of the release
# month, unless SOURCE_DATE_EPOCH sets another when cpack runs. ZIP holds no
# time before 1980, so the signing's default of 1970 would not do here.
set(month_starts 0 31 59 90 120 151 181 212 243 273 304 334)
math(EXPR month_index "${version_MONTH} - 1")
list(GET month_starts ${month_index} days_before_month)
# Days since 1970 to the month's first: a leap year's extra day counts from March.
set(y ${version_YEAR})
math(EXPR leap_days_before "(${y} - 1) / 4 - (${y} - 1) / 100 + (${y} - 1) / 400 - 477")
math(EXPR leap_this_year "${y} / 4 - ${y} / 100 + ${y} / 400 - 477 - ${leap_days_before}")
math(EXPR days "365 * (${y} - 1970) + ${leap_days_before} + ${days_before_month}")
if(version_MONTH GREATER 2)
  math(EXPR days "${days} + ${leap_this_year}")
endif()
math(EXPR TARNKIT_PACKAGE_EPOCH "${days} * 86400 + 43200")

# What the exe requests and opens, for README.txt.
if(TARNKIT_HTTPS)
  set(site "https://${TARNKIT_WEB_HOST}/")
else()
  set(site "http://${TARNKIT_WEB_HOST}/")
endif()
set(TARNKIT_PACKAGE_SITE "${site}")
set(TARNKIT_PACKAGE_DOWNLOADS "")
foreach(file IN LISTS TARNKIT_PACKAGED_CLIENTS)
  string(APPEND TARNKIT_PACKAGE_DOWNLOADS "    ${site}downloads/${file}\n")
endforeach()
if(TARNKIT_PACKAGE_DOWNLOADS STREQUAL "")
  set(TARNKIT_PACKAGE_DOWNLOADS "    -\n")
endif()
set(TARNKIT_PACKAGE_VERSION "${version_TEXT}")
set(package_dir ${CMAKE_BINARY_DIR}/package)
# In CRLF, so Notepad on any Windows shows its lines.
configure_file(${CMAKE_CURRENT_LIST_DIR}/package-README.txt.in ${package_dir}/README.txt @ONLY NEWLINE_STYLE CRLF)

# The install-time check, with the values the exe is compiled with.
set(check "")
foreach(name IN ITEMS TARNKIT_PYTHON3 TARNKIT_SIGNER_NAME_SCRIPT TARNKIT_CLIENTS TARNKIT_CLIENT_FILES)
  tarnkit_cmake_literal(literal "${${name}}")
  string(APPEND check "set(${name} ${literal})\n")
endforeach()
foreach(client IN LISTS TARNKIT_CLIENTS)
  foreach(name IN ITEMS TARNKIT_SHA256_${client} TARNKIT_PUBLISHER_${client})
    tarnkit_cmake_literal(literal "${${name}}")
    string(APPEND check "set(${name} ${literal})\n")
  endforeach()
endforeach()
tarnkit_cmake_literal(literal "${CMAKE_CURRENT_LIST_DIR}/package_check.cmake")
string(APPEND check "include(${literal})\n")
file(CONFIGURE OUTPUT ${package_dir}/check.cmake CONTENT "${check}")

# Modes are set by the check, once every file is staged; directories made by
# the install rules take these from the start.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(FILES $<TARGET_FILE:tarn-kit> ${package_dir}/README.txt DESTINATION .)
foreach(file IN LISTS TARNKIT_PACKAGED_CLIENTS)
  install(FILES "${TARNKIT_CLIENTS_FOLDER}/${file}" DESTINATION downloads)
endforeach()
install(SCRIPT ${package_dir}/check.cmake)

tarnkit_cmake_literal(literal "${TARNKIT_PACKAGE_EPOCH}")
file(CONFIGURE OUTPUT ${package_dir}/cpack-options.cmake CONTENT
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${literal})\nendif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${package_dir}/cpack-options.cmake)
set(CPACK_PACKAGE_NAME tarn-kit)
set(CPACK_PACKAGE_VERSION "${version_TEXT}")
set(CPACK_PACKAGE_VENDOR tarn-kit)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tarn-kit.exe and the client programs it downloads, for the web host")
set(CPACK_GENERATOR ZIP)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
