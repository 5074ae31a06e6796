# velmora_layer(<name> <folder> [QT_TESTS] [PUBLIC deps...] [PRIVATE deps...] [TEST_DEPS deps...]
#               [SHARED_TEST_SOURCES files...])
#
# Makes the static library velmora_<name> from every .cpp in <folder>, and, when tests
# are on, the GoogleTest executable <name>_tests from every .cpp in tests/<name>,
# each test labelled <name> so that `ctest -L <name>` runs one layer.
# QT_TESTS: the layer has views; its tests run under a QApplication on the offscreen
# platform (tests/support/qt), with Qt Test's event helpers available.
# SHARED_TEST_SOURCES: files of tests/<name> that other test executables use too; they are
# compiled once, into the static library <name>_test_support, which <name>_tests links.
# Sources are globbed, so adding a file needs no edit here (re-run cmake after adding).
# Paths are taken from this project's own folders, so the editor also builds when an outer
# project adds it with add_subdirectory().

include(CheckLinkerFlag)

option(VELMORA_PRECOMPILED_HEADERS "Precompile the standard, JSON and Qt headers once per library" ON)
option(VELMORA_UNITY_TESTS "Compile each test executable's files a few at a time as one unit" ON)
# Unity batches make GCC optimise the libraries' code less well (the editor's own work measured
# 12-30 % slower in processor time), so the product builds each file alone; scripts/test, whose
# builds are only tested, turns it on for their build time.
option(VELMORA_UNITY_LIBRARIES "Compile each library's files a few at a time as one unit (faster to build, slower code)" OFF)
option(VELMORA_FULL_TEST_DEBUG_INFO "Full debug information in test code (else line tables only)" OFF)
option(VELMORA_OPTIMIZE_TESTS "Optimise test code as the build type says (else unoptimised)" OFF)
option(VELMORA_USE_LLD "Link with LLVM's lld when the compiler can use it" ON)

# lld links the large test executables in a fraction of the default linker's time.
if(VELMORA_USE_LLD AND NOT DEFINED CACHE{VELMORA_LINKER_LLD})
  check_linker_flag(CXX "-fuse-ld=lld" VELMORA_LINKER_LLD)
endif()
if(VELMORA_USE_LLD AND VELMORA_LINKER_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# Headers worth parsing once per library rather than once per file: the standard library and JSON
# for every layer, and Qt's widgets for the view layers only, whose files include them anyway (Qt
# defines macros such as `signals` that other code must not meet unasked).
set(VELMORA_PCH_STANDARD
  <algorithm> <array> <atomic> <chrono> <cmath> <condition_variable> <cstddef> <cstdint>
  <cstdio> <cstdlib> <cstring> <deque> <exception> <filesystem> <functional> <limits> <map>
  <memory> <mutex> <optional> <set> <stdexcept> <string> <string_view> <system_error> <thread>
  <tuple> <unordered_map> <utility> <vector> <nlohmann/json.hpp>)
set(VELMORA_PCH_WIDGETS
  <QApplication> <QColor> <QEvent> <QHBoxLayout> <QImage> <QLabel> <QObject> <QPainter>
  <QPainterPath> <QPointer> <QPushButton> <QSignalBlocker> <QString> <QStringList> <QTimer>
  <QVBoxLayout> <QWidget>)

# velmora_speed_up(<target> [WIDGETS] [TESTS] [UNITY] [SHARED_PCH])
# Library code: a unity build (VELMORA_UNITY_LIBRARIES), else its headers precompiled once when
# the target has enough files to repay it (or SHARED_PCH: other targets reuse them). Test code:
# lighter debug information, no optimisation (VELMORA_OPTIMIZE_TESTS) and, with UNITY, a unity
# build, which parses the headers once per batch. A unity build puts a few of the target's files
# (in name order) into one unit, so a file taking part must not clash with the others in its
# folder: its file-local names (in an anonymous namespace or static), aliases and macros must
# differ from theirs, and it must not rely on `using namespace` at file scope being absent. A file that cannot follow that is listed in the top CMakeLists.txt with
# SKIP_UNITY_BUILD_INCLUSION and compiled on its own.
function(velmora_speed_up target)
  cmake_parse_arguments(ARG "WIDGETS;TESTS;UNITY;SHARED_PCH" "" "" ${ARGN})
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  list(LENGTH sources source_count)
  set(library_unity OFF)
  if(NOT ARG_TESTS AND NOT ARG_SHARED_PCH AND VELMORA_UNITY_LIBRARIES)
    set(library_unity ON)
  endif()
  if(VELMORA_PRECOMPILED_HEADERS AND NOT library_unity AND
     (ARG_SHARED_PCH OR (NOT ARG_UNITY AND source_count GREATER_EQUAL 8)))
    set(headers ${VELMORA_PCH_STANDARD})
    if(ARG_WIDGETS)
      list(APPEND headers ${VELMORA_PCH_WIDGETS})
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
  endif()
  if(ARG_TESTS AND NOT VELMORA_FULL_TEST_DEBUG_INFO)
    # File and line of every frame in a backtrace or sanitizer report, without the types and
    # locals that make up most of the tests' compile and link time.
    target_compile_options(${target} PRIVATE $<$<CONFIG:Debug,RelWithDebInfo>:-g1>)
  endif()
  if(ARG_TESTS AND NOT VELMORA_OPTIMIZE_TESTS)
    # Test code is set-up and checks around the libraries, whose code keeps the build type's
    # optimisation: unoptimised, it compiles in about half the time and runs much as fast.
    target_compile_options(${target} PRIVATE -O0)
  endif()
  if(library_unity OR (ARG_UNITY AND VELMORA_UNITY_TESTS))
    # A batch of 8 keeps most of the gain while the chance of two files clashing stays small.
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # In a batch every file is an included one, and GCC warns of a type using an anonymous
      # namespace there (a test fixture, a private storage struct) as it would in a header.
      target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
  endif()
endfunction()

function(velmora_layer name folder)
  cmake_parse_arguments(ARG "QT_TESTS" "" "PUBLIC;PRIVATE;TEST_DEPS;SHARED_TEST_SOURCES" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  file(GLOB_RECURSE resources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.qrc)
  set(widgets "")
  if(ARG_QT_TESTS)
    set(widgets WIDGETS)
  endif()
  if(sources)
    add_library(velmora_${name} STATIC ${sources} ${headers} ${resources})
    set(scope PUBLIC)
    velmora_speed_up(velmora_${name} ${widgets})
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
      if(ARG_QT_TESTS)
        set(test_main velmora_qt_test_main)
      else()
        set(test_main GTest::gtest_main)
      endif()
      set(test_links velmora_${name} ${ARG_PRIVATE} ${ARG_TEST_DEPS} velmora_testsupport GTest::gtest GTest::gmock)
      set(test_definitions
        VELMORA_TEST_TMP="${PROJECT_BINARY_DIR}/test-tmp"
        VELMORA_BUILD_DIR="${PROJECT_BINARY_DIR}"
        VELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
      set(shared "")
      foreach(file ${ARG_SHARED_TEST_SOURCES})
        list(APPEND shared ${PROJECT_SOURCE_DIR}/tests/${name}/${file})
      endforeach()
      if(shared)
        list(REMOVE_ITEM test_sources ${shared})
        add_library(${name}_test_support STATIC ${shared})
        target_link_libraries(${name}_test_support PUBLIC ${test_links})
        if(ARG_QT_TESTS)
          target_link_libraries(${name}_test_support PUBLIC Qt6::Test)
        endif()
        target_compile_definitions(${name}_test_support PRIVATE ${test_definitions})
        velmora_speed_up(${name}_test_support ${widgets} TESTS)
        list(APPEND test_links ${name}_test_support)
      endif()
      add_executable(${name}_tests ${test_sources})
      target_link_libraries(${name}_tests PRIVATE ${test_links} ${test_main})
      target_compile_definitions(${name}_tests PRIVATE ${test_definitions})
      velmora_speed_up(${name}_tests ${widgets} TESTS UNITY)
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
