# tavelo_layer(name FOLDERS folder... [BELOW layer...])
#   A layer of the installer: the static library tavelo_<name>, to which the folders' own
#   CMakeLists.txt add their sources, linked to the layers BELOW it. Before the library
#   builds, its folders' sources and headers are read, and an include of a folder of
#   TAVELO_LAYERED_FOLDERS that is neither the layer's own nor below it stops the build.
function(tavelo_layer name)
  cmake_parse_arguments(ARG "" "" "FOLDERS;BELOW" ${ARGN})
  set(target tavelo_${name})
  add_library(${target} STATIC)
  tavelo_windows_target(${target})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  set(allowed ${ARG_FOLDERS})
  foreach(below ${ARG_BELOW})
    target_link_libraries(${target} PUBLIC tavelo_${below})
    get_property(below_folders GLOBAL PROPERTY tavelo_${below}_folders)
    list(APPEND allowed ${below_folders})
  endforeach()
  set_property(GLOBAL PROPERTY tavelo_${name}_folders ${ARG_FOLDERS})
  set(forbidden ${TAVELO_LAYERED_FOLDERS})
  list(REMOVE_ITEM forbidden ${allowed})

  set(sources)
  foreach(folder ${ARG_FOLDERS})
    file(GLOB folder_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND sources ${folder_sources})
  endforeach()
  set(stamp ${CMAKE_BINARY_DIR}/layers/${name}.checked)
  add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DLAYER=${name} "-DFORBIDDEN=${forbidden}" "-DSOURCES=${sources}"
              -DSTAMP=${stamp} -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
      DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
      COMMENT "Checking the includes of the ${name} layer"
      VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
