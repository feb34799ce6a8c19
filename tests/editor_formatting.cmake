# Editing: character formatting, the Edit menu, Word Wrap, keys and mouse;
# and the toolbar's commands.
tarbel_add_test(tst_editor_formatting SOURCES tst_editor_formatting.cpp LIBS tarbel_lib SANITIZED)
tarbel_add_test(tst_editor_toolbar SOURCES tst_editor_toolbar.cpp LIBS tarbel_lib SANITIZED)
# The saved picture opened by LibreOffice: slow, so a run of its own.
add_test(NAME tst_editor_toolbar_interop COMMAND tst_editor_toolbar pictureOpensInLibreOffice)
set_tests_properties(tst_editor_toolbar_interop PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TARBEL_INTEROP=1" TIMEOUT 300 LABELS interop)

# End to end: Write File over the open document, Undo, F6, Return, a PNG and
# a text file, Ctrl+C after the Edit menu, driven with real X input; leaves
# screenshots of the narrow and the wide window.
add_test(NAME e2e_tarbel_editing
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/e2e_tarbel_editing.sh $<TARGET_FILE:tarbel> ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(e2e_tarbel_editing PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180 LABELS e2e)
