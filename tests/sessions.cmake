# Random user sessions under invariants: a tester for each program drives
# the real window class through real Qt events, answers every dialog at
# random, checks the user's files and unsaved work after every action, and
# shrinks what breaks a rule to a regression row (sessions/rows/<program>/).
# `make test` runs each for 30 s from a fixed seed and replays the rows;
# `make soak` runs them longer under the sanitizers (sessions/soak.sh).
add_library(sessions_engine STATIC sessions/engine.cpp sessions/engine.h support/rtfdescribe.cpp)
target_include_directories(sessions_engine PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/sessions)
target_link_libraries(sessions_engine PUBLIC testsupport rtfdoc Qt6::Widgets Qt6::PrintSupport Qt6::Test)

set(SESSIONS_SECONDS 30 CACHE STRING "Seconds each random-session tester runs in the test suite")

function(tarbel_add_sessions name)
  cmake_parse_arguments(S "" "SEED" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${S_SOURCES})
  target_link_libraries(${name} PRIVATE sessions_engine ${S_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  string(REPLACE "_sessions" "" program ${name})
  add_test(NAME ${name}
    COMMAND ${name} --seconds ${SESSIONS_SECONDS} --seed ${S_SEED} --shrink-seconds 60 --shrink-total 240
            --rows ${CMAKE_CURRENT_SOURCE_DIR}/sessions/rows/${program}
            --found ${CMAKE_BINARY_DIR}/sessions-found)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS unit TIMEOUT 600)
endfunction()

tarbel_add_sessions(tarbel_sessions SEED 1 SOURCES sessions/tarbel_sessions.cpp LIBS tarbel_lib)
if(TARGET vennik_lib AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/sessions/vennik_sessions.cpp)
  tarbel_add_sessions(vennik_sessions SEED 1 SOURCES sessions/vennik_sessions.cpp LIBS vennik_lib)
endif()

# The real-X variant: the real programs on a virtual display, driven by
# xdotool (sessions/x_sessions.cpp); `make soak` runs it for a short while.
foreach(program tarbel vennik)
  if(TARGET ${program})
    set(libs tarbel_lib)
    if(program STREQUAL "vennik")
      set(libs vennik_lib tarbel_lib)
    endif()
    add_executable(x${program}_sessions sessions/x_sessions.cpp)
    target_link_libraries(x${program}_sessions PRIVATE sessions_engine ${libs})
    target_compile_definitions(x${program}_sessions PRIVATE TARBEL_BINARY_DIR="${CMAKE_BINARY_DIR}"
      $<$<STREQUAL:${program},vennik>:X_VENNIK>)
    set_target_properties(x${program}_sessions PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_dependencies(x${program}_sessions ${program})
  endif()
endforeach()
