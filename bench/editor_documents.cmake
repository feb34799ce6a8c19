# editor_documents_bench [FILE] [--answers N] [--find TEXT] [--shown] [--recovery]:
# Open, the recovery copy the window makes and its recovery in a new window,
# Save and Save As of FILE through the File menu, and a search and replace
# answered No N times, through a dialog host that answers at once; --shown
# shows the window first, so that the editor lays the document out;
# --recovery stops after the recovery.
add_executable(editor_documents_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_documents_bench.cpp)
target_link_libraries(editor_documents_bench PRIVATE tarbel_lib)
target_compile_definitions(editor_documents_bench PRIVATE
  TARBEL_SAMPLES_DIR="${TARBEL_SAMPLES_DIR}")

# longwork_bench [MB] [--only a,b] [--quiet-window]: the longest freeze of the window and the whole time of
# Open, Save, Word Wrap, Replace, Numberings, a 20 MB paste and recovering a
# copy on a generated document of MB megabytes (50), before (the one-call
# path) and after (the window's command); --quiet-window lets no events
# run during the commands, to tell the cost of the events from the pieces'.
add_executable(longwork_bench ${CMAKE_CURRENT_SOURCE_DIR}/longwork_bench.cpp)
target_link_libraries(longwork_bench PRIVATE tarbel_lib)
