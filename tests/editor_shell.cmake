tarbel_add_test(tst_editor_shell SOURCES tst_editor_shell.cpp LIBS tarbel_lib SANITIZED)

# End to end: the real program under a virtual X display.
add_test(NAME smoke_tarbel
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/smoke_tarbel.sh $<TARGET_FILE:tarbel> ${CMAKE_BINARY_DIR}/tarbel-smoke.png)
set_tests_properties(smoke_tarbel PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60 LABELS e2e)

