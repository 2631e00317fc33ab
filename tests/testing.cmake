# pf_add_test(NAME name SOURCES ... LIBS ... [GUI] [LABELS ...] [TIMEOUT s])
#  GTest executable registered with CTest. GUI tests run on the offscreen Qt platform.
#  Every test gets a private runtime folder and a private settings folder, so tests never
#  touch a user's files or each other's.
set(PF_TEST_RUNTIME ${CMAKE_BINARY_DIR}/test-runtime)
# Tests run in the C locale (with UTF-8), where the window is in Chinese whatever the
# locale of the one who runs them: they assert the program's own texts. A test in another
# language says so in its own environment.
set(PF_TEST_LOCALE "LC_ALL=set:C.UTF-8" "LANG=set:C.UTF-8" "LC_MESSAGES=unset:"
                   "PLUMFINCH_LANG=unset:")
function(pf_c_locale)
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT_MODIFICATION ${PF_TEST_LOCALE})
endfunction()
file(MAKE_DIRECTORY ${PF_TEST_RUNTIME})
function(pf_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    PF_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PF_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(_env "PLUMFINCH_TEST_TMP=${PF_TEST_RUNTIME}/${T_NAME}"
           "XDG_RUNTIME_DIR=${PF_TEST_RUNTIME}/xdg-${T_NAME}"
           "XDG_CONFIG_HOME=${PF_TEST_RUNTIME}/config-${T_NAME}"
           "PF_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "PF_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(T_GUI)
    list(APPEND _env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${_env}" TIMEOUT ${T_TIMEOUT})
  pf_c_locale(${T_NAME})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
