# The module itself: one shared library exporting the seven entry points and nothing else.
# Registration comes from the description folder, so the library is linked only once both exist.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/exports.cpp AND
   EXISTS ${PROJECT_SOURCE_DIR}/src/description/AAXWrapper_Description.cpp)
  add_library(VantreloDelayAAX SHARED ${CMAKE_CURRENT_LIST_DIR}/exports.cpp)
  set_target_properties(VantreloDelayAAX PROPERTIES PREFIX "" OUTPUT_NAME "VantreloDelayAAX")
  target_link_libraries(VantreloDelayAAX PRIVATE aaxw_settings aaxw_description aaxw_wrapper aaxw_render
                        aaxw_vsthost aaxw_effect aaxw_module aaxw_params aaxw_platform)
  if(WIN32)
    target_sources(VantreloDelayAAX PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VantreloDelayAAX.def)
  else()
    target_link_options(VantreloDelayAAX PRIVATE
      -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/exports.map -Wl,--no-undefined)
  endif()
endif()
