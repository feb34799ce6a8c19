# editor_documents_bench [FILE] [--answers N] [--find TEXT] [--shown]: Open,
# Save and Save As of FILE through the File menu, and a search and replace
# answered No N times, through a dialog host that answers at once; --shown
# shows the window first, so that the editor lays the document out.
add_executable(editor_documents_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_documents_bench.cpp)
target_link_libraries(editor_documents_bench PRIVATE tarbel_lib)
target_compile_definitions(editor_documents_bench PRIVATE
  TARBEL_SAMPLES_DIR="${TARBEL_SAMPLES_DIR}")
