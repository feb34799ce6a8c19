# rtf_bench FILE [--out OUT]: read and write times, MB/s, peak memory and the
# tokenizer's speed on its own.
add_executable(rtf_bench ${CMAKE_CURRENT_SOURCE_DIR}/rtf_bench.cpp)
target_link_libraries(rtf_bench PRIVATE rtfdoc)
# plaintext_bench [FILE] [--runs N]: a large plain-text file (50 MB made up
# by default) read into a document as before, as now, and Qt's floor, each
# with its own peak memory.
add_executable(plaintext_bench ${CMAKE_CURRENT_SOURCE_DIR}/plaintext_bench.cpp)
target_link_libraries(plaintext_bench PRIVATE rtfdoc)
