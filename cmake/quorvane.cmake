# qv_library(NAME DIR [DEPS ...]): a static library of every .cpp in DIR.
# A folder without sources yet gives an interface library, so dependants link.
function(qv_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(pattern IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# qv_test(NAME DIR [DEPS ...]): one GoogleTest binary of every .cpp in DIR.
function(qv_test name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} qv_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  # The tests keep whatever Qt and the program write under the configuration folder (the
  # file dialogs' QtProject.conf, the settings) in the build folder, never the user's own.
  # One variable per property: the discovery writes a list's items as separate arguments.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    ENVIRONMENT_MODIFICATION "XDG_CONFIG_HOME=set:${CMAKE_BINARY_DIR}/test-config")
endfunction()
