# Fails when a layer includes one above it. The layers, lowest first:
# platform, launch, windows; each portable folder may not include a win32/
# folder, and program/ may include anything. Run by the build (the `layers`
# target) with -DSOURCE=<source folder> -DSTAMP=<file written on success>.
set(rules
  "platform/win32|platform/ resources/"
  "platform|platform/ !platform/win32/"
  "launch|launch/ platform/ !platform/win32/"
  "windows/win32|windows/ launch/ platform/ resources/"
  "windows|windows/ launch/ platform/ !windows/win32/ !platform/win32/")
set(faults "")
foreach(rule IN LISTS rules)
  string(REPLACE "|" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(GET parts 1 allowed)
  string(REPLACE " " ";" allowed "${allowed}")
  file(GLOB files RELATIVE ${SOURCE} ${SOURCE}/${folder}/*.h ${SOURCE}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${SOURCE}/${file} includes REGEX "^#include \"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" name "${line}")
      # A name without a folder is the file's own folder's or a generated one.
      if(NOT name MATCHES "/")
        continue()
      endif()
      set(ok FALSE)
      foreach(prefix IN LISTS allowed)
        if(prefix MATCHES "^!")
          string(SUBSTRING "${prefix}" 1 -1 refused)
          string(FIND "${name}" "${refused}" at)
          if(at EQUAL 0)
            set(ok FALSE)
            break()
          endif()
        else()
          string(FIND "${name}" "${prefix}" at)
          if(at EQUAL 0)
            set(ok TRUE)
          endif()
        endif()
      endforeach()
      if(NOT ok)
        string(APPEND faults "\n  ${file} includes ${name}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "A layer includes one above it:${faults}")
endif()
file(TOUCH ${STAMP})
