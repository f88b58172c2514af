# quelmar_add_test(NAME SOURCES a.cpp b.cpp [LIBS x y] [LABELS l] [TIMEOUT s] [SIMULATOR] [LAUNCHER cmd])
# One QtTest executable, registered with CTest under its own name. SIMULATOR:
# the test starts the module simulator process, found through QUELMAR_MODULE_SIM.
# LAUNCHER: a command that runs the test (its path appended), such as the
# script that gives it a throwaway database cluster.
function(quelmar_add_test name)
  cmake_parse_arguments(T "SIMULATOR" "TIMEOUT;LAUNCHER" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(T_SIMULATOR)
    add_dependencies(${name} quelmar-module-sim)
    target_compile_definitions(${name} PRIVATE QUELMAR_MODULE_SIM="$<TARGET_FILE:quelmar-module-sim>")
  endif()
  if(T_LAUNCHER)
    add_test(NAME ${name} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
