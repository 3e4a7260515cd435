# Fails unless MODULE exports exactly the seven entry points.
#   MODULE  the built module file
#   LISTER  nm (FORMAT elf) or objdump (FORMAT pe)
set(expected ACFCanUnloadNow ACFGetClassFactory ACFGetSDKVersion ACFRegisterComponent ACFRegisterPlugin
             ACFShutdown ACFStartup)

if(FORMAT STREQUAL "elf")
  execute_process(COMMAND "${LISTER}" -D --defined-only "${MODULE}"
                  OUTPUT_VARIABLE listing RESULT_VARIABLE failed ERROR_VARIABLE errors)
else()
  execute_process(COMMAND "${LISTER}" -p "${MODULE}"
                  OUTPUT_VARIABLE listing RESULT_VARIABLE failed ERROR_VARIABLE errors)
endif()
if(failed)
  message(FATAL_ERROR "cannot list the exports of ${MODULE}: ${errors}")
endif()

set(exported)
string(REPLACE "\n" ";" lines "${listing}")
if(FORMAT STREQUAL "elf")
  # "<address> <type> <name>"; absolute symbols (type A) are version nodes, not code or data.
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ ]+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
      list(APPEND exported "${CMAKE_MATCH_2}")
    endif()
  endforeach()
else()
  # The name pointer table: "\t[   0] ACFCanUnloadNow"
  set(in_table FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "\\[Ordinal/Name Pointer\\] Table")
      set(in_table TRUE)
    elseif(in_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] ([^ ]+)$")
      list(APPEND exported "${CMAKE_MATCH_1}")
    elseif(in_table AND line STREQUAL "")
      set(in_table FALSE)
    endif()
  endforeach()
endif()

list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "${MODULE} exports [${exported}], expected exactly [${expected}]")
endif()
message(STATUS "${MODULE} exports exactly: ${exported}")
