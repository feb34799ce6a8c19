# End to end with the Windows programs on the other side: cmd.exe under Wine
# (a fresh prefix per run) writes Tarbel's hand-off file and reads Vennik's
# record, and both programs run for real on a virtual display. Skipped where
# wine64 is missing or cannot start.
set(wine_vennik -)
set(wine_server -)
if(TARGET vennik)
  add_executable(pageserver support/pageserver.cpp)
  target_link_libraries(pageserver PRIVATE Qt6::Core Qt6::Network)
  set_target_properties(pageserver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(wine_vennik $<TARGET_FILE:vennik>)
  set(wine_server $<TARGET_FILE:pageserver>)
endif()
add_test(NAME e2e_wine_handoff
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine_handoff.sh
          $<TARGET_FILE:tarbel> ${wine_vennik} ${wine_server} ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(e2e_wine_handoff PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240 LABELS interop)
