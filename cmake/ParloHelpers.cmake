# The exit code by which a test says it could not run because a tool it needs is
# missing (scripts/packages.txt lists them all, so CI skips nothing). Nothing else
# makes a test a skip: not its output, not a failure.
set(PARLO_SKIP_CODE 77)

# The include root a library exports: a folder in the build tree holding one link,
# named like the library's source folder, to that folder. A library's headers are
# included as "<folder>/Header.h", and only a library that links it finds them.
function(parlo_export_root out)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${PROJECT_BINARY_DIR}/include/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# Precompiled headers (PARLO_PCH). Parsing the standard headers, and Qt's and
# GoogleTest's, costs most files more than compiling their own code; each library
# and test program parses them once instead. Each folder takes the widest set
# that most of its files include anyway (a header no file needs still costs each
# file time), and test programs add GoogleTest:
#   STD        the standard headers;
#   QTGUI      those and Qt's core and picture classes;
#   QTWIDGETS  those and the application and widget classes.
# Every file of a folder with a Qt set sees Qt's macros, so none can use emit,
# signals, slots or foreach as a name.
set(PARLO_PCH_STD <algorithm> <array> <cstdint> <cstring> <functional> <map> <memory> <optional>
  <sstream> <string> <string_view> <unordered_map> <vector>)
set(PARLO_PCH_QTGUI ${PARLO_PCH_STD} <QByteArray> <QColor> <QFont> <QImage> <QList> <QObject>
  <QPixmap> <QString>)
set(PARLO_PCH_QTWIDGETS ${PARLO_PCH_QTGUI} <QApplication> <QWidget>)

# parlo_precompile(<target> <STD|QTGUI|QTWIDGETS> [more headers...])
function(parlo_precompile target set)
  if(NOT PARLO_PCH)
    return()
  endif()
  if(NOT DEFINED PARLO_PCH_${set})
    message(FATAL_ERROR "parlo_precompile: no header set named ${set}")
  endif()
  # Making the header costs about what parsing it does in two files.
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  list(LENGTH sources count)
  if(count LESS 3)
    return()
  endif()
  target_precompile_headers(${target} PRIVATE ${PARLO_PCH_${set}} ${ARGN})
endfunction()

# parlo_library(NAME <name> DEPS <libs...> [EXCLUDE <files...>] [PRECOMPILE <STD|QTGUI|QTWIDGETS>])
# Builds every .cpp in the calling folder (and its sub-folders) into one static library
# that exports its own folder's headers (see parlo_export_root), its files compiled
# with the PRECOMPILE header set (STD when not given).
function(parlo_library)
  cmake_parse_arguments(ARG "" "NAME;PRECOMPILE" "DEPS;EXCLUDE" ${ARGN})
  if(NOT ARG_PRECOMPILE)
    set(ARG_PRECOMPILE STD)
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  list(FILTER sources INCLUDE REGEX "\\.cpp$|\\.h$")
  set(has_code OFF)
  foreach(f IN LISTS sources)
    if(f MATCHES "\\.cpp$")
      set(has_code ON)
    endif()
  endforeach()
  parlo_export_root(root)
  if(has_code)
    add_library(${ARG_NAME} STATIC ${sources})
    target_include_directories(${ARG_NAME} PUBLIC ${root})
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
    parlo_precompile(${ARG_NAME} ${ARG_PRECOMPILE})
  else()
    # A folder with no code yet still links, so the folders above it can name it.
    add_library(${ARG_NAME} INTERFACE)
    target_include_directories(${ARG_NAME} INTERFACE ${root})
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# parlo_test(NAME <name> DEPS <libs...> [PRECOMPILE <STD|QTGUI|QTWIDGETS>])
# One GoogleTest executable per tests/ folder, from every *_test.cpp in it, its
# files compiled with the PRECOMPILE header set (STD when not given) and GoogleTest.
function(parlo_test)
  cmake_parse_arguments(ARG "" "NAME;PRECOMPILE" "DEPS" ${ARGN})
  if(NOT PARLO_TESTS)
    return()
  endif()
  if(NOT ARG_PRECOMPILE)
    set(ARG_PRECOMPILE STD)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*_helpers.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${ARG_NAME} ${sources} ${PROJECT_SOURCE_DIR}/tests/common/TestEnvironment.cpp)
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  parlo_precompile(${ARG_NAME} ${ARG_PRECOMPILE} <gtest/gtest.h>)
  # With PARLO_PCH, test files are also compiled eight to a unit: they include
  # the same project headers, which then cost one parse instead of eight. Names a
  # test file keeps to itself (anonymous namespaces) must differ from its
  # neighbours', and a file's using-directives reach the files after it, so a
  # header that would then see two meanings of a name goes in the folder's
  # precompiled set, ahead of every file.
  if(PARLO_PCH)
    set_target_properties(${ARG_NAME} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
  # A test program's own code is not what it measures: the libraries under test
  # keep the build's optimisation, the test files take less, which makes them
  # a fifth cheaper to compile (two fifths under AddressSanitizer, whose
  # instrumentation costs most where the optimiser runs). The capture tests'
  # fake devices stream whole pictures through test code, which under
  # ThreadSanitizer needs the optimiser to keep pace, so that build keeps -O1.
  if(CMAKE_BUILD_TYPE MATCHES "^(RelWithDebInfo|Release)$" AND NOT PARLO_TSAN)
    if(PARLO_SANITIZE)
      target_compile_options(${ARG_NAME} PRIVATE -O0)
    else()
      target_compile_options(${ARG_NAME} PRIVATE -O1)
    endif()
  endif()
  # tests/common/TestEnvironment.cpp is the main of each test program: it sets the
  # environment (PARLO_SOURCE_DIR, PARLO_BINARY_DIR, QT_QPA_PLATFORM) and turns a run
  # whose only outcome is a skip into the exit code PARLO_SKIP_CODE.
  target_compile_definitions(${ARG_NAME} PRIVATE PARLO_SKIP_CODE=${PARLO_SKIP_CODE}
    PARLO_SOURCE_DIR_BUILTIN="${PROJECT_SOURCE_DIR}" PARLO_BINARY_DIR_BUILTIN="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60)
  # Discovery lets any output holding "[  SKIPPED ]" count as a skip, even a
  # failing test's: its include is swapped for one that skips by exit code only.
  get_property(includes DIRECTORY PROPERTY TEST_INCLUDE_FILES)
  list(POP_BACK includes discovered)
  string(REGEX REPLACE "_include\\.cmake$" "_tests.cmake" tests_file "${discovered}")
  set(target ${ARG_NAME})
  set(skip_code ${PARLO_SKIP_CODE})
  set(own ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}_exit_skips.cmake)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/GTestExitSkips.cmake.in ${own} @ONLY)
  list(APPEND includes ${own})
  set_property(DIRECTORY PROPERTY TEST_INCLUDE_FILES ${includes})
endfunction()

# parlo_e2e(NAME <name> CASE <module.Class> [HOLDS])
# An end-to-end test: one unittest class of the calling folder, run headless with
# the source and build trees in its environment. It is a skip only when it exits
# with PARLO_SKIP_CODE (a tool it needs is missing; CI installs every one).
# HOLDS: the test bounds how long the program holds its thread under attack;
# such tests take one lock, so that they never run beside each other: each
# brings a program, its attackers and its probes, and several at once would
# measure each other more than the program.
function(parlo_e2e)
  cmake_parse_arguments(ARG "HOLDS" "NAME;CASE" "" ${ARGN})
  if(NOT PARLO_TESTS OR PARLO_FUZZ)
    return()
  endif()
  add_test(NAME ${ARG_NAME}
           COMMAND python3 -m unittest ${ARG_CASE}
           WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(${ARG_NAME} PROPERTIES
    TIMEOUT 120
    SKIP_RETURN_CODE ${PARLO_SKIP_CODE}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PARLO_SOURCE_DIR=${PROJECT_SOURCE_DIR};PARLO_BINARY_DIR=${PROJECT_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
  if(ARG_HOLDS)
    set_tests_properties(${ARG_NAME} PROPERTIES RESOURCE_LOCK program_holds)
  endif()
endfunction()

# parlo_fuzzer(NAME <name> SOURCE <file> DEPS <libs...> [RUNS n])
# A libFuzzer target, run by CTest for a bounded number of inputs over the seed
# corpus in <folder>/corpus/<name> (when PARLO_FUZZ is on).
function(parlo_fuzzer)
  cmake_parse_arguments(ARG "" "NAME;SOURCE;RUNS" "DEPS" ${ARGN})
  if(NOT PARLO_FUZZ)
    return()
  endif()
  if(NOT ARG_RUNS)
    set(ARG_RUNS 20000)
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCE})
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS})
  target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers ${ARG_NAME})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${ARG_NAME})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus-work/${ARG_NAME})
  add_test(NAME ${ARG_NAME}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            sh -c "rm -rf '${work}' && mkdir -p '${work}' && exec '$<TARGET_FILE:${ARG_NAME}>' -runs=${ARG_RUNS} -max_len=65536 -timeout=20 '${work}' '${corpus}'")
endfunction()
