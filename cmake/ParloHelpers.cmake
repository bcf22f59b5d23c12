# parlo_library(NAME <name> DEPS <libs...> [EXCLUDE <files...>])
# Builds every .cpp in the calling folder (and its sub-folders) into one static library
# whose headers are included as "<folder>/Header.h" from src/.
function(parlo_library)
  cmake_parse_arguments(ARG "" "NAME" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${ARG_NAME} STATIC ${sources})
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
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
  add_executable(${ARG_NAME} ${sources})
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${ARG_NAME}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PARLO_SOURCE_DIR=${PROJECT_SOURCE_DIR};PARLO_BINARY_DIR=${PROJECT_BINARY_DIR}"
    DISCOVERY_TIMEOUT 60)
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
