# The tessel benchmark (bench/tessel_bench.sh): a generator of the file tree it searches, and the
# measuring client tessel_query_bench (built by the loop above) with its helpers.
add_executable(tessel_tree_gen
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/tessel_tree_gen.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/TreePlan.cpp)
target_include_directories(tessel_tree_gen PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(tessel_tree_gen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_link_libraries(tessel_query_bench PRIVATE webtessl_test_support)
target_sources(tessel_query_bench PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/BenchQueries.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/ChildProcess.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/TesselClient.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/TreePlan.cpp)
# The index at ten million entries, loaded without the file system (bench/tessel_scale_bench.cpp).
target_sources(tessel_scale_bench PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/BenchQueries.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tessel/TreePlan.cpp)
target_link_libraries(tessel_scale_bench PRIVATE tessel_core)
