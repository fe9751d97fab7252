# tw_add_test(NAME <name> LABEL <label> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <s>] [ENV <k=v...>])
# Builds one GoogleTest binary and registers it with CTest under its subsystem's label.
# Every test needs the generated audio fixtures; their path is passed as TW_FIXTURES.
set(TW_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
function(tw_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main tw_warnings Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE TW_FIXTURES="${TW_FIXTURE_DIR}"
    TW_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TW_PROGRAM_DIR="${TW_PROGRAM_DIR}")
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/${T_LABEL})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    FIXTURES_REQUIRED tw_fixtures
    ENVIRONMENT "SDL_AUDIODRIVER=dummy;QT_QPA_PLATFORM=offscreen;TW_FIXTURES=${TW_FIXTURE_DIR};${T_ENV}")
endfunction()
