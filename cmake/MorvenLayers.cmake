# Adds every listed folder that holds a CMakeLists.txt.
function(morven_add_layers)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# morven_library(NAME [SHARED] DEPS ...): a layer library made of every .cpp in the current folder.
function(morven_library name)
  cmake_parse_arguments(ARG "SHARED" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(ARG_SHARED)
    add_library(${name} SHARED ${srcs})
  else()
    add_library(${name} STATIC ${srcs})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# morven_tests(NAME DEPS ...): one test program made of every *_test.cpp in the current folder,
# registered with CTest test by test.
function(morven_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE MORVEN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             MORVEN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # NO_PRETTY_VALUES: a parameterised case is named by its suite's name generator, never by its printed
  # value (CMake would otherwise append " # GetParam() = " and the value's bytes to a named case).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES TIMEOUT 300)
endfunction()
