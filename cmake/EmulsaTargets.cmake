# Helpers shared by the subsystem folders.

# emulsa_subsystem(<name> [DEPENDS libs...])
# Builds every .cpp/.h in the calling folder (recursively) into the static
# library emulsa_<name>. DEPENDS names the subsystem library just below this
# one (which brings the rest below it) and the outside libraries it uses;
# emulsa_layer_link_check() makes sure it needs nothing more.
function(emulsa_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(emulsa_${name} STATIC ${sources})
  target_include_directories(emulsa_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(emulsa_${name} PUBLIC ${ARG_DEPENDS})
  emulsa_layer_link_check(emulsa_${name})
endfunction()

# emulsa_layer_link_check(<library>)
# Links every object of <library> into a program with an empty main and only
# the libraries <library> itself links, those of the layers below it. A call
# from one layer into a layer above it (or into a library the layer does not
# declare, such as Qt5::Widgets below ui/) then fails this link, even where
# the programs of the project would link because they also carry the upper
# layer. The programs are part of the normal build, so every build checks the
# layering; they are never run.
function(emulsa_layer_link_check library)
  set(check ${library}_linkcheck)
  add_executable(${check} ${PROJECT_SOURCE_DIR}/cmake/LinkCheckMain.cpp)
  set_target_properties(${check} PROPERTIES
    AUTOMOC OFF RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/linkcheck)
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
endfunction()

# emulsa_tests(<subsystem>)
# Every tst_*.cpp in the calling folder or a folder below it becomes one QtTest program, registered
# with CTest under "<subsystem>/<name>". Other .cpp files of the folder itself are test
# support code shared by that folder's programs, and so are the headers of its
# subfolders (fixtures shared by the programs of one subfolder; moc runs on
# them there).
function(emulsa_tests subsystem)
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB_RECURSE support_headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(APPEND support ${support_headers})
  list(FILTER support EXCLUDE REGEX "/tst_[^/]*\\.cpp$")
  set(support_lib "")
  if(support)
    set(support_lib emulsa_test_support_${subsystem})
    add_library(${support_lib} STATIC ${support})
    target_link_libraries(${support_lib} PUBLIC emulsa_ui Qt5::Test emulsa_test_common)
    target_include_directories(${support_lib} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  endif()
  foreach(test_source ${tests})
    get_filename_component(test_name ${test_source} NAME_WE)
    add_executable(${test_name} ${test_source})
    set_target_properties(${test_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    target_link_libraries(${test_name} PRIVATE emulsa_ui Qt5::Test emulsa_test_common ${support_lib})
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
