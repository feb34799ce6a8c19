# rtf_bench FILE [--out OUT]: read and write times, MB/s, peak memory and the
# tokenizer's speed on its own.
add_executable(rtf_bench ${CMAKE_CURRENT_SOURCE_DIR}/rtf_bench.cpp)
target_link_libraries(rtf_bench PRIVATE rtfdoc)
