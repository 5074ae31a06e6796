# velmora_layer(<name> <folder> [QT_TESTS] [PUBLIC deps...] [PRIVATE deps...] [TEST_DEPS deps...])
#
# Makes the static library velmora_<name> from every .cpp in <folder>, and, when tests
# are on, the GoogleTest executable <name>_tests from every .cpp in tests/<name>,
# each test labelled <name> so that `ctest -L <name>` runs one layer.
# QT_TESTS: the layer has views; its tests run under a QApplication on the offscreen
# platform (tests/support/qt), with Qt Test's event helpers available.
# Sources are globbed, so adding a file needs no edit here (re-run cmake after adding).
# Paths are taken from this project's own folders, so the editor also builds when an outer
# project adds it with add_subdirectory().
function(velmora_layer name folder)
  cmake_parse_arguments(ARG "QT_TESTS" "" "PUBLIC;PRIVATE;TEST_DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  file(GLOB_RECURSE resources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.qrc)
  if(sources)
    add_library(velmora_${name} STATIC ${sources} ${headers} ${resources})
    set(scope PUBLIC)
  else()
    add_library(velmora_${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(velmora_${name} ${scope}
    ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/VelmoraDesktopEditor)
  # Headers use C++20: whoever links a layer compiles as C++20 too.
  target_compile_features(velmora_${name} ${scope} cxx_std_20)
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
    file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${name}/*.cpp)
    if(test_sources)
      add_executable(${name}_tests ${test_sources})
      if(ARG_QT_TESTS)
        set(test_main velmora_qt_test_main)
      else()
        set(test_main GTest::gtest_main)
      endif()
      target_link_libraries(${name}_tests PRIVATE velmora_${name} ${ARG_PRIVATE} ${ARG_TEST_DEPS}
        velmora_testsupport GTest::gtest GTest::gmock ${test_main})
      target_compile_definitions(${name}_tests PRIVATE
        VELMORA_TEST_TMP="${PROJECT_BINARY_DIR}/test-tmp"
        VELMORA_BUILD_DIR="${PROJECT_BINARY_DIR}"
        VELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
      set(test_env "")
      if(ARG_QT_TESTS)
        set(test_env ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
      endif()
      gtest_discover_tests(${name}_tests
        PROPERTIES LABELS ${name} ${test_env}
        DISCOVERY_TIMEOUT 120)
    endif()
  endif()
endfunction()
