# velmora_layer(<name> <folder> [PUBLIC deps...] [PRIVATE deps...])
#
# Makes the static library velmora_<name> from every .cpp in <folder>, and, when tests
# are on, the GoogleTest executable <name>_tests from every .cpp in tests/<name>,
# each test labelled <name> so that `ctest -L <name>` runs one layer.
# Sources are globbed, so adding a file needs no edit here (re-run cmake after adding).
function(velmora_layer name folder)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE;TEST_DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  if(sources)
    add_library(velmora_${name} STATIC ${sources} ${headers})
    set(scope PUBLIC)
  else()
    add_library(velmora_${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(velmora_${name} ${scope}
    ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/VelmoraDesktopEditor)
  if(ARG_PUBLIC)
    target_link_libraries(velmora_${name} ${scope} ${ARG_PUBLIC})
  endif()
  if(ARG_PRIVATE)
    if(sources)
      target_link_libraries(velmora_${name} PRIVATE ${ARG_PRIVATE})
    else()
      target_link_libraries(velmora_${name} INTERFACE ${ARG_PRIVATE})
    endif()
  endif()

  if(VELMORA_BUILD_TESTS)
    file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
    if(test_sources)
      add_executable(${name}_tests ${test_sources})
      target_link_libraries(${name}_tests PRIVATE velmora_${name} ${ARG_PRIVATE} ${ARG_TEST_DEPS}
        velmora_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
      target_compile_definitions(${name}_tests PRIVATE
        VELMORA_TEST_TMP="${CMAKE_BINARY_DIR}/test-tmp"
        VELMORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
      gtest_discover_tests(${name}_tests
        PROPERTIES LABELS ${name}
        DISCOVERY_TIMEOUT 120)
    endif()
  endif()
endfunction()
