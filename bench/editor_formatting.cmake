# wordwrap_bench [FILE]: one Word Wrap switch each way on a large document.
add_executable(wordwrap_bench ${CMAKE_CURRENT_SOURCE_DIR}/wordwrap_bench.cpp)
target_link_libraries(wordwrap_bench PRIVATE tarbel_lib Qt6::Test)
target_compile_definitions(wordwrap_bench PRIVATE
  TARBEL_SAMPLES_DIR="${TARBEL_SAMPLES_DIR}")
# numbering_bench [LINES...]: the toolbar's line numbering on long documents.
add_executable(numbering_bench ${CMAKE_CURRENT_SOURCE_DIR}/numbering_bench.cpp)
target_link_libraries(numbering_bench PRIVATE tarbel_lib Qt6::Test)
