tarbel_add_test(tst_editor_documents SOURCES tst_editor_documents.cpp LIBS tarbel_lib SANITIZED)
tarbel_add_test(tst_editor_search SOURCES tst_editor_search.cpp LIBS tarbel_lib SANITIZED)

# End to end: the real program picks up a hand-off file at start-up.
add_test(NAME smoke_handoff
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/smoke_handoff.sh $<TARGET_FILE:tarbel> ${CMAKE_BINARY_DIR}/tarbel-handoff.png)
set_tests_properties(smoke_handoff PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60 LABELS e2e)

# End to end: no change is lost without a question, driven with real X input.
add_test(NAME e2e_tarbel_changes
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/e2e_tarbel_changes.sh $<TARGET_FILE:tarbel> ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(e2e_tarbel_changes PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS e2e)

# End to end: typed work survives kill -9 and is recovered at the next start.
add_test(NAME e2e_recovery
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/e2e_recovery.sh $<TARGET_FILE:tarbel> ${CMAKE_BINARY_DIR}/tarbel-recovery-question.png
          $<TARGET_FILE:faultshim>)
set_tests_properties(e2e_recovery PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS e2e)

# End to end: a large document loads while the window repaints, and Escape
# stops the load, on a real X display.
add_test(NAME e2e_tarbel_longwork
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/e2e_tarbel_longwork.sh $<TARGET_FILE:tarbel> ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(e2e_tarbel_longwork PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180 LABELS e2e)
