# Windows version resources, all from the project's one version number (project(VERSION)).
#
# aaxw_add_version_resource(TARGET PRODUCT name DESCRIPTION text FILENAME shipped-file-name
#                           [VERSION x.y.z] [INTERNAL_NAME name])
# Adds a VERSIONINFO resource to TARGET: file and product version (the project's unless VERSION
# says otherwise), company "Brenlock", the product name, a description, the file name it ships
# under and its internal name (the target's unless INTERNAL_NAME says otherwise). Does nothing off Windows or when the target is not part of this build.
if(WIN32)
  enable_language(RC)
endif()
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "the project version must be MAJOR.MINOR.PATCH, not '${PROJECT_VERSION}'")
endif()

function(aaxw_add_version_resource target)
  if(NOT WIN32 OR NOT TARGET ${target})
    return()
  endif()
  cmake_parse_arguments(ARG "" "PRODUCT;DESCRIPTION;FILENAME;VERSION;INTERNAL_NAME" "" ${ARGN})
  if(NOT ARG_VERSION)
    set(ARG_VERSION ${PROJECT_VERSION})
  endif()
  string(REPLACE "." "," AAXW_RC_VERSION_COMMAS "${ARG_VERSION}")
  set(AAXW_RC_VERSION_COMMAS "${AAXW_RC_VERSION_COMMAS},0")
  set(AAXW_RC_VERSION "${ARG_VERSION}")
  set(AAXW_RC_COMPANY "Brenlock")
  set(AAXW_RC_PRODUCT "${ARG_PRODUCT}")
  set(AAXW_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  set(AAXW_RC_FILENAME "${ARG_FILENAME}")
  set(AAXW_RC_INTERNAL_NAME "${target}")
  if(ARG_INTERNAL_NAME)
    set(AAXW_RC_INTERNAL_NAME "${ARG_INTERNAL_NAME}")
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(AAXW_RC_FILETYPE "0x1")  # VFT_APP
  else()
    set(AAXW_RC_FILETYPE "0x2")  # VFT_DLL
  endif()
  set(rc ${CMAKE_BINARY_DIR}/version-resources/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
