# Build helpers shared by every folder.

# tw_add_platform_library(NAME SOURCES... [LIBS ...])
# A manager of the platform layer; it joins the umbrella target `macplatform`.
function(tw_add_platform_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  set_property(GLOBAL APPEND PROPERTY TW_PLATFORM_LIBRARIES ${name})
endfunction()

# Makes `macplatform`, every platform library in one link item.
function(tw_finish_platform)
  get_property(libs GLOBAL PROPERTY TW_PLATFORM_LIBRARIES)
  add_library(macplatform INTERFACE)
  target_link_libraries(macplatform INTERFACE ${libs})
endfunction()

# tw_add_test(NAME SOURCES ... [LIBS ...] [TIMEOUT s] [SERIAL])
# One GoogleTest program, registered with CTest under two labels: the
# top-level folder (platform, agent, ...) and the folder itself
# (platform/files, ...). Tests get a private scratch root and the folder of
# the built programs through the environment.
function(tw_add_test name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tw_testing GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  # The folder of the first source names the test: platform/files/tests/x.cpp
  # gives the labels "platform" and "platform/files".
  list(GET T_SOURCES 0 first)
  get_filename_component(first_dir ${first} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(first_dir ${first_dir} DIRECTORY)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${first_dir})
  string(REGEX REPLACE "/tests$" "" rel "${rel}")
  string(REGEX REPLACE "/.*$" "" top "${rel}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    LABELS "${top};${rel}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "TW_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TW_TEST_ROOT=${CMAKE_BINARY_DIR}/test-tmp;TW_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
