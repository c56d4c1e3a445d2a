# ondrel_library(<name> [GUI <unit.cpp>...] [DEPS <target>...])
#
# Builds the static library ondrel_<name> from every .cpp file in the calling
# folder. Units listed after GUI need the Qt-based platform layer; they are left
# out when ONDREL_GUI is off, so the std-only code still builds and tests alone.
set(ONDREL_LIBRARIES "" CACHE INTERNAL "")

function(ondrel_library name)
  cmake_parse_arguments(ARG "" "" "GUI;DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
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

# ondrel_test(<subsystem>)
#
# tests/<subsystem>/*.cpp become test_<subsystem> (plain GoogleTest);
# tests/<subsystem>/gui/*.cpp become test_<subsystem>_gui, which runs with a
# QApplication on the offscreen platform and is built only with ONDREL_GUI.
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
      PROPERTIES ENVIRONMENT "ONDREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endif()
  file(GLOB gui CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${sub}/gui/*.cpp")
  if(gui AND ONDREL_GUI)
    add_executable(test_${sub}_gui ${gui} ${CMAKE_CURRENT_SOURCE_DIR}/support/gui/QtTestMain.cpp)
    target_compile_options(test_${sub}_gui PRIVATE -g -fasynchronous-unwind-tables)
    target_link_libraries(test_${sub}_gui PRIVATE ondrel_all ondrel_test_support Qt6::Widgets GTest::gtest GTest::gmock)
    gtest_discover_tests(test_${sub}_gui DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ONDREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endif()
endfunction()
