# The module itself: one shared library exporting the seven entry points and nothing else.
# Registration comes from the description folder, so the library is linked only once both exist.
#
# aaxw_add_module(NAME): the module library as target NAME (the tests link it once more under
# another version).
function(aaxw_add_module name)
  add_library(${name} SHARED ${PROJECT_SOURCE_DIR}/src/module/exports.cpp)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME "VantreloDelayAAX")
  target_link_libraries(${name} PRIVATE aaxw_settings aaxw_description aaxw_wrapper aaxw_render
                        aaxw_vsthost aaxw_effect aaxw_module aaxw_params aaxw_platform)
  if(WIN32)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src/module/VantreloDelayAAX.def)
  else()
    target_link_options(${name} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/src/module/exports.map -Wl,--no-undefined)
  endif()
endfunction()

if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/exports.cpp AND
   EXISTS ${PROJECT_SOURCE_DIR}/src/description/AAXWrapper_Description.cpp)
  aaxw_add_module(VantreloDelayAAX)
endif()
