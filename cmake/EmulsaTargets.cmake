# Helpers shared by the subsystem folders.

# emulsa_subsystem(<name> [DEPENDS libs...])
# Builds every .cpp/.h in the calling folder (recursively) into the static
# library emulsa_<name>.
function(emulsa_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  # A program's entry point lives beside its subsystem but not in the library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(emulsa_${name} STATIC ${sources})
  target_include_directories(emulsa_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(emulsa_${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# emulsa_tests(<subsystem>)
# Every tst_*.cpp in the calling folder becomes one QtTest program, registered
# with CTest under "<subsystem>/<name>". Other .cpp files in the folder are test
# support code shared by that folder's programs.
function(emulsa_tests subsystem)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER support EXCLUDE REGEX "/tst_[^/]*\\.cpp$")
  set(support_lib "")
  if(support)
    set(support_lib emulsa_test_support_${subsystem})
    add_library(${support_lib} STATIC ${support})
    target_link_libraries(${support_lib} PUBLIC emulsa_all Qt5::Test emulsa_test_common)
    target_include_directories(${support_lib} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  endif()
  foreach(test_source ${tests})
    get_filename_component(test_name ${test_source} NAME_WE)
    add_executable(${test_name} ${test_source})
    set_target_properties(${test_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    target_link_libraries(${test_name} PRIVATE emulsa_all Qt5::Test emulsa_test_common ${support_lib})
    target_include_directories(${test_name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    add_test(NAME ${subsystem}/${test_name} COMMAND ${test_name})
    set_tests_properties(${subsystem}/${test_name} PROPERTIES
      TIMEOUT 900
      ENVIRONMENT "EMULSA_TEST_SOURCE_DIR=${PROJECT_SOURCE_DIR};EMULSA_TEST_BINARY_DIR=${CMAKE_BINARY_DIR}")
  endforeach()
endfunction()
