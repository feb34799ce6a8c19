# Editing: character formatting, the Edit menu, Word Wrap, keys and mouse;
# and the toolbar's commands.
tarbel_add_test(tst_editor_formatting SOURCES tst_editor_formatting.cpp LIBS tarbel_lib)
