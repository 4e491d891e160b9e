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
# Every tst_*.cpp in the calling folder or a folder below it becomes one QtTest program, registered
# with CTest under "<subsystem>/<name>". Other .cpp files of the folder itself are test
# support code shared by that folder's programs.
function(emulsa_tests subsystem)
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
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
    set(environment EMULSA_TEST_SOURCE_DIR=${PROJECT_SOURCE_DIR} EMULSA_TEST_BINARY_DIR=${CMAKE_BINARY_DIR}
      ${EMULSA_SANITIZER_ENV})
    set_tests_properties(${subsystem}/${test_name} PROPERTIES TIMEOUT 900 ENVIRONMENT "${environment}")
  endforeach()
endfunction()

# emulsa_test_label(<label> <test programs>...)
# Gives the named programs of the calling folder's subsystem a CTest label, so
# that `ctest -L <label>` runs them, and makes the target emulsa_<label>_tests
# build them (with the film data folder the tests read). The label
# "threads" marks the tests that exercise threads: the ThreadSanitizer build
# builds and runs only those. Call it after emulsa_tests(), for example
#   emulsa_test_label(threads tst_metadatamanager)
function(emulsa_test_label label)
  get_filename_component(subsystem ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  if(NOT TARGET emulsa_${label}_tests)
    add_custom_target(emulsa_${label}_tests)
    foreach(data emulsa_filmdata_folder)
      if(TARGET ${data})
        add_dependencies(emulsa_${label}_tests ${data})
      endif()
    endforeach()
  endif()
  foreach(test_name ${ARGN})
    if(NOT TARGET ${test_name})
      message(FATAL_ERROR "emulsa_test_label: ${test_name} is not a test program of ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    set_property(TEST ${subsystem}/${test_name} APPEND PROPERTY LABELS ${label})
    add_dependencies(emulsa_${label}_tests ${test_name})
  endforeach()
endfunction()
