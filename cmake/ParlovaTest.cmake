# parlova_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                  [ENVIRONMENT <VAR=value...>] [TIMEOUT <seconds>] [BOTH_STORES])
#
# One Qt Test executable per unit, registered with CTest. Widgets always run
# offscreen; tests that need the rig (X11, keyring, sound, relay) find it
# through the environment that scripts/rig.sh exports, and skip themselves
# only when PARLOVA_RIG is unset (a developer's plain `ctest`).
function(parlova_add_test name)
  cmake_parse_arguments(T "BOTH_STORES" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test parlova_test_support ${T_LIBS})
  set(environment "QT_QPA_PLATFORM=offscreen;PARLOVA_SOURCE_DIR=${PROJECT_SOURCE_DIR};PARLOVA_BUILD_DIR=${PROJECT_BINARY_DIR};PARLOVA_RELAIS=$<TARGET_FILE:parlova-relais>;PARLOVA_EXE=$<TARGET_FILE:parlova>;${T_ENVIRONMENT}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
                       ENVIRONMENT "${environment}")
  # The same test once more with every relay it starts on PostgreSQL.
  if(T_BOTH_STORES)
    add_test(NAME ${name}_postgresql COMMAND ${name})
    set_tests_properties(${name}_postgresql PROPERTIES TIMEOUT ${T_TIMEOUT}
                         LABELS "${T_LABELS};postgresql"
                         ENVIRONMENT "${environment};PARLOVA_TEST_STORE=postgresql")
  endif()
endfunction()

# Every tst_*.cpp of a folder becomes its own test linked with the given libraries.
function(parlova_add_tests_in_folder)
  cmake_parse_arguments(T "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(source ${sources})
    get_filename_component(name ${source} NAME_WE)
    parlova_add_test(${name} SOURCES ${source} LIBS ${T_LIBS} LABELS ${T_LABELS})
  endforeach()
endfunction()
