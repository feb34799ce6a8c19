# wordwrap_bench [FILE]: one Word Wrap switch each way on a large document.
add_executable(wordwrap_bench ${CMAKE_CURRENT_SOURCE_DIR}/wordwrap_bench.cpp)
target_link_libraries(wordwrap_bench PRIVATE tarbel_lib Qt6::Test)
target_compile_definitions(wordwrap_bench PRIVATE
  TARBEL_SAMPLES_DIR="${TARBEL_SAMPLES_DIR}")
# numbering_bench [LINES...]: the toolbar's line numbering on long documents.
add_executable(numbering_bench ${CMAKE_CURRENT_SOURCE_DIR}/numbering_bench.cpp)
target_link_libraries(numbering_bench PRIVATE tarbel_lib Qt6::Test)
# typing_bench [FILE] [--paragraph MB]: what a key typed costs in a large
# document or inside one long paragraph, Word Wrap off and on.
add_executable(typing_bench ${CMAKE_CURRENT_SOURCE_DIR}/typing_bench.cpp)
target_link_libraries(typing_bench PRIVATE tarbel_lib Qt6::Test)
target_compile_definitions(typing_bench PRIVATE
  TARBEL_SAMPLES_DIR="${TARBEL_SAMPLES_DIR}")
