# recovery_bench [FILE] [--shown]: the cost of a recovery copy of FILE (the
# 5 MB ledger by default) on the window's thread.
add_executable(recovery_bench ${CMAKE_CURRENT_SOURCE_DIR}/recovery_bench.cpp)
target_link_libraries(recovery_bench PRIVATE tarbel_lib)
target_compile_definitions(recovery_bench PRIVATE
  TARBEL_SAMPLES_DIR="${TARBEL_SAMPLES_DIR}")
