# One static library per source folder: every .cpp/.h in the folder belongs to it,
# so adding a file needs no edit here.
function(tsubame_library name)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
                                   ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  add_library(${name} STATIC ${_src})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
endfunction()

# Stops the configure when a library reaches Qt Widgets through its links, directly or
# through another library: logic meant for a program without windows must stay without.
function(tsubame_require_no_widgets name)
  set(_seen "")
  set(_todo ${name})
  while(_todo)
    list(POP_FRONT _todo _lib)
    if(_lib IN_LIST _seen OR NOT TARGET ${_lib})
      continue()
    endif()
    list(APPEND _seen ${_lib})
    if(_lib STREQUAL "Qt6::Widgets" OR _lib STREQUAL "tsubame_widgets")
      message(FATAL_ERROR "${name} must not link ${_lib}: its windows belong in a ui/ library")
    endif()
    get_target_property(_links ${_lib} INTERFACE_LINK_LIBRARIES)
    if(_links)
      list(APPEND _todo ${_links})
    endif()
  endwhile()
endfunction()
