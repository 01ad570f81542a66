# Shared build settings for the project's own targets.

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(KESTREL_SANITIZER_FLAGS "")
if(KESTREL_ASAN)
  set(KESTREL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
elseif(KESTREL_TSAN)
  set(KESTREL_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(KESTREL_SANITIZER_FLAGS)
  add_compile_options(${KESTREL_SANITIZER_FLAGS})
  add_link_options(${KESTREL_SANITIZER_FLAGS})
endif()

# Warnings as errors on the project's own code (not on third-party headers).
function(kestrel_warnings target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # GCC 12 at -O3 reports -Wrestrict inside libstdc++'s own string concatenation
  # ("text" + std::string), a known false positive of that compiler release.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# kestrel_module(NAME <name> [SOURCES ...] [DEPS ...])
# A static library kestrel_<name> built from the .cpp files of the current folder
# (or the given SOURCES), with the repository root as include root.
function(kestrel_module)
  cmake_parse_arguments(M "" "NAME" "SOURCES;DEPS" ${ARGN})
  if(NOT M_SOURCES)
    file(GLOB M_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  set(target kestrel_${M_NAME})
  if(M_SOURCES)
    add_library(${target} STATIC ${M_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${M_DEPS})
    target_compile_definitions(${target} PUBLIC KESTREL_VERSION="${PROJECT_VERSION}")
    kestrel_warnings(${target})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${M_DEPS})
  endif()
endfunction()

# kestrel_test(NAME <name> SOURCES ... [DEPS ...] [QT])
# One GoogleTest executable; every test case is registered with CTest.
function(kestrel_test)
  cmake_parse_arguments(T "OWN_MAIN" "NAME;TIMEOUT" "SOURCES;DEPS" ${ARGN})
  set(target kestrel_${T_NAME}_tests)
  # test_environment.cpp sets QT_QPA_PLATFORM, SDL_AUDIODRIVER and KESTREL_TEST_TMP.
  add_executable(${target} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/test_environment.cpp)
  if(T_OWN_MAIN)
    target_link_libraries(${target} PRIVATE ${T_DEPS} kestrel_test_support GTest::gmock)
  else()
    target_link_libraries(${target} PRIVATE ${T_DEPS} kestrel_test_support GTest::gmock_main)
  endif()
  kestrel_warnings(${target})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
