# ondrel_library(<name> [GUI <unit.cpp>...] [DEPS <target>...])
#
# Builds the static library ondrel_<name> from every .cpp file in the calling
# folder. Units listed after GUI need the Qt-based platform layer; they are left
# out when ONDREL_GUI is off, so the std-only code still builds and tests alone.
# A unit that reaches a window-layer header through its includes must be listed
# there, or the configuration stops.
# DEPS are the libraries whose headers and code the folder uses: each library
# is also recorded with its folder and its dependencies (a library with GUI
# units depends on ondrel_platform), and ondrel_write_layers() writes that map
# for the test that holds every include to the declared arrows.
set(ONDREL_LIBRARIES "" CACHE INTERNAL "")
set(ONDREL_LAYERS "" CACHE INTERNAL "")

# _ondrel_window_chain(<file> <out>)
#
# How a source file (relative to the project) reaches a header of the
# Qt-based window layer (platform/, not platform/core/) through the project's
# own includes: "a.h -> platform/Forms.h", or empty when it does not. Each
# file is read once per configure.
function(_ondrel_window_chain file out)
  get_property(known GLOBAL PROPERTY "ONDREL_WINDOW_CHAIN_${file}" SET)
  if(known)
    get_property(chain GLOBAL PROPERTY "ONDREL_WINDOW_CHAIN_${file}")
    set(${out} "${chain}" PARENT_SCOPE)
    return()
  endif()
  # A file met again while its own includes are read adds nothing.
  set_property(GLOBAL PROPERTY "ONDREL_WINDOW_CHAIN_${file}" "")
  set(chain "")
  file(STRINGS "${PROJECT_SOURCE_DIR}/${file}" includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
    if(header MATCHES "^platform/" AND NOT header MATCHES "^platform/core/")
      set(chain "${header}")
      break()
    endif()
    if(EXISTS "${PROJECT_SOURCE_DIR}/${header}")
      _ondrel_window_chain("${header}" further)
      if(further)
        set(chain "${header} -> ${further}")
        break()
      endif()
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY "ONDREL_WINDOW_CHAIN_${file}" "${chain}")
  set(${out} "${chain}" PARENT_SCOPE)
endfunction()

function(ondrel_library name)
  cmake_parse_arguments(ARG "" "" "GUI;DEPS" ${ARGN})
  file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
  set(declared ${ARG_DEPS})
  if(ARG_GUI)
    list(APPEND declared ondrel_platform)
  endif()
  list(FILTER declared INCLUDE REGEX "^ondrel_")
  list(JOIN declared "," declared)
  set(ONDREL_LAYERS ${ONDREL_LAYERS} "ondrel_${name}:${folder}:${declared}" CACHE INTERNAL "")
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  # A unit that needs the window layer but is not listed under GUI compiles
  # without it (its headers declare what Qt implements) and then fails to
  # link only where an unrelated symbol happens to pull it in: said here, in
  # either build, instead.
  if(NOT folder STREQUAL "platform")
    foreach(source IN LISTS sources)
      get_filename_component(unit "${source}" NAME)
      if(NOT unit IN_LIST ARG_GUI)
        _ondrel_window_chain("${folder}/${unit}" chain)
        if(chain)
          message(FATAL_ERROR "${folder}/${unit} needs the window layer (${chain}): list it after GUI")
        endif()
      endif()
    endforeach()
  endif()
  if(NOT ONDREL_GUI)
    foreach(unit IN LISTS ARG_GUI)
      list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/${unit}")
    endforeach()
  endif()
  if(NOT sources)
    add_library(ondrel_${name} INTERFACE)
    target_include_directories(ondrel_${name} INTERFACE ${PROJECT_SOURCE_DIR})
  else()
    add_library(ondrel_${name} STATIC ${sources})
    target_include_directories(ondrel_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    foreach(dep IN LISTS ARG_DEPS)
      target_link_libraries(ondrel_${name} PUBLIC ${dep})
    endforeach()
    if(ONDREL_GUI AND ARG_GUI)
      target_link_libraries(ondrel_${name} PUBLIC ondrel_platform)
    endif()
  endif()
  set(ONDREL_LIBRARIES ${ONDREL_LIBRARIES} ondrel_${name} CACHE INTERNAL "")
endfunction()

# ondrel_write_layers(<file>)
#
# One line a library: its folder, then the folders of the libraries it
# declares, directly or through them.
function(ondrel_write_layers file)
  set(text "")
  foreach(entry IN LISTS ONDREL_LAYERS)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 lib)
    list(GET parts 1 folder)
    set(folder_${lib} ${folder})
    list(LENGTH parts n)
    set(deps_${lib} "")
    if(n GREATER 2)
      list(GET parts 2 deps)
      string(REPLACE "," ";" deps_${lib} "${deps}")
    endif()
  endforeach()
  foreach(entry IN LISTS ONDREL_LAYERS)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 lib)
    set(reach "")
    set(todo ${deps_${lib}})
    while(todo)
      list(POP_FRONT todo dep)
      if(dep IN_LIST reach OR NOT DEFINED folder_${dep})
        continue()
      endif()
      list(APPEND reach ${dep})
      list(APPEND todo ${deps_${dep}})
    endwhile()
    set(line "${folder_${lib}}")
    foreach(dep IN LISTS reach)
      string(APPEND line " ${folder_${dep}}")
    endforeach()
    string(APPEND text "${line}\n")
  endforeach()
  file(WRITE "${file}" "${text}")
endfunction()

# ondrel_test(<subsystem>)
#
# tests/<subsystem>/*.cpp become test_<subsystem> (plain GoogleTest);
# tests/<subsystem>/gui/*.cpp become test_<subsystem>_gui, which runs with a
# QApplication on the offscreen platform (its main chooses it) and is built
# only with ONDREL_GUI. Every test has a time limit (ONDREL_TEST_TIMEOUT
# seconds), so one that hangs fails with its name instead of holding the run
# until CI's own limit; the slowest today take a few seconds under the
# sanitizers.
set(ONDREL_TEST_TIMEOUT 120 CACHE STRING "Time limit of one test, in seconds")
function(ondrel_test sub)
  file(GLOB plain CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*.cpp")
  if(plain)
    add_executable(test_${sub} ${plain})
    # Tests read their own debug information (the error log's symbolizer),
    # whatever the build type.
    target_compile_options(test_${sub} PRIVATE -g -fasynchronous-unwind-tables)
    target_link_libraries(test_${sub} PRIVATE ondrel_all ondrel_test_support GTest::gtest GTest::gtest_main GTest::gmock)
    gtest_discover_tests(test_${sub} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES ENVIRONMENT "ONDREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}" TIMEOUT ${ONDREL_TEST_TIMEOUT})
  endif()
  file(GLOB gui CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${sub}/gui/*.cpp")
  if(gui AND ONDREL_GUI)
    add_executable(test_${sub}_gui ${gui} ${CMAKE_CURRENT_SOURCE_DIR}/support/gui/QtTestMain.cpp)
    target_compile_options(test_${sub}_gui PRIVATE -g -fasynchronous-unwind-tables)
    target_link_libraries(test_${sub}_gui PRIVATE ondrel_all ondrel_test_support Qt6::Widgets GTest::gtest GTest::gmock)
    gtest_discover_tests(test_${sub}_gui DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES ENVIRONMENT "ONDREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}" TIMEOUT ${ONDREL_TEST_TIMEOUT})
  endif()
endfunction()
