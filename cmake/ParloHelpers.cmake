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

# parlo_library(NAME <name> DEPS <libs...> [EXCLUDE <files...>])
# Builds every .cpp in the calling folder (and its sub-folders) into one static library
# that exports its own folder's headers (see parlo_export_root).
function(parlo_library)
  cmake_parse_arguments(ARG "" "NAME" "DEPS;EXCLUDE" ${ARGN})
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
  else()
    # A folder with no code yet still links, so the folders above it can name it.
    add_library(${ARG_NAME} INTERFACE)
    target_include_directories(${ARG_NAME} INTERFACE ${root})
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# parlo_test(NAME <name> DEPS <libs...>)
# One GoogleTest executable per tests/ folder, from every *_test.cpp in it.
function(parlo_test)
  cmake_parse_arguments(ARG "" "NAME" "DEPS" ${ARGN})
  if(NOT PARLO_TESTS)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*_helpers.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${ARG_NAME} ${sources} ${PROJECT_SOURCE_DIR}/tests/common/TestEnvironment.cpp)
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${ARG_NAME} PRIVATE
    PARLO_SOURCE_DIR_BUILTIN="${PROJECT_SOURCE_DIR}" PARLO_BINARY_DIR_BUILTIN="${PROJECT_BINARY_DIR}")
  # The environment (PARLO_SOURCE_DIR, PARLO_BINARY_DIR, QT_QPA_PLATFORM) is set by
  # tests/common/TestEnvironment.cpp inside each test program.
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60)
endfunction()

# parlo_e2e(NAME <name> CASE <module.Class> [SKIPPABLE])
# An end-to-end test: one unittest class of the calling folder, run headless with
# the source and build trees in its environment. SKIPPABLE reports a run whose
# output says "skipped" as skipped rather than passed.
function(parlo_e2e)
  cmake_parse_arguments(ARG "SKIPPABLE" "NAME;CASE" "" ${ARGN})
  if(NOT PARLO_TESTS OR PARLO_FUZZ)
    return()
  endif()
  add_test(NAME ${ARG_NAME}
           COMMAND python3 -m unittest ${ARG_CASE}
           WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(${ARG_NAME} PROPERTIES
    TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PARLO_SOURCE_DIR=${PROJECT_SOURCE_DIR};PARLO_BINARY_DIR=${PROJECT_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
  if(ARG_SKIPPABLE)
    set_tests_properties(${ARG_NAME} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped")
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
