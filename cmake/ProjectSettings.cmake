# Warning, sanitizer and platform settings shared by every target of the project.

add_library(aaxw_settings INTERFACE)
if(MSVC)
  target_compile_options(aaxw_settings INTERFACE /W4 /WX)
else()
  target_compile_options(aaxw_settings INTERFACE -Wall -Wextra -Werror)
endif()
if(AAXW_SANITIZE)
  # No dynamic-type (vptr) check: the host's strings, MIDI nodes and transport reach the module
  # as a real host's do, as objects whose first word points at a table of functions in slot
  # order, not as objects of the module's C++ types with this compiler's type information in
  # front of their tables, so a check of that information cannot hold at the host boundary.
  target_compile_options(aaxw_settings INTERFACE -fsanitize=address,undefined -fno-sanitize=vptr
                                                 -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(aaxw_settings INTERFACE -fsanitize=address,undefined)
  target_compile_definitions(aaxw_settings INTERFACE AAXW_SANITIZED=1)
endif()
if(AAXW_SANITIZE_THREAD)
  if(AAXW_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  # -O1 keeps the instrumented suites quick; the reports still name every line.
  target_compile_options(aaxw_settings INTERFACE -fsanitize=thread -O1 -fno-omit-frame-pointer)
  target_link_options(aaxw_settings INTERFACE -fsanitize=thread)
endif()

if(WIN32)
  # Shipped binaries stand alone: the C++ runtime and winpthread are linked in.
  target_link_options(aaxw_settings INTERFACE -static -static-libgcc -static-libstdc++)
  # Hardening, set here rather than left to the linker's defaults (scripts/package.sh checks
  # them): loaded anywhere in the 64-bit address space, data never executable. Reproducible:
  # no link time in the headers, and a build id (a hash of the contents, kept by the stripped
  # library and its debug information alike) to match the two.
  target_link_options(aaxw_settings INTERFACE -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat
                                              -Wl,--no-insert-timestamp -Wl,--build-id)
  # Debug information names source files relative to the checkout, wherever it is.
  target_compile_options(aaxw_settings INTERFACE -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                                                 -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  set(AAXW_SHARED_SUFFIX ".dll")
else()
  set(AAXW_SHARED_SUFFIX ".so")
endif()

# aaxw_add_library(NAME SOURCES... [DEPS targets...])
# One static library per source folder.
function(aaxw_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC aaxw_settings ${ARG_DEPS})
endfunction()

if(AAXW_DEBUG_INFO)
  # Does not change the generated code: the shipped binary is the tested one, stripped.
  target_compile_options(aaxw_settings INTERFACE -g)
endif()
