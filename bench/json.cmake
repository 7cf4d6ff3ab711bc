# The JSON benchmark measures the server's JSON module beside a widely used C++ JSON library from
# Debian (nlohmann-json3-dev). That library is a benchmark peer only, never a dependency of the
# server, so the benchmark is built only where its header and Google Benchmark are installed.
find_path(WEBTESSL_NLOHMANN_JSON_DIR nlohmann/json.hpp)
if(benchmark_FOUND AND WEBTESSL_NLOHMANN_JSON_DIR)
  add_executable(json_bench ${CMAKE_CURRENT_SOURCE_DIR}/json/json_bench.cpp)
  target_include_directories(json_bench SYSTEM PRIVATE ${WEBTESSL_NLOHMANN_JSON_DIR})
  target_link_libraries(json_bench PRIVATE webtessl_json benchmark::benchmark)
  set_target_properties(json_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
else()
  message(STATUS "json_bench not built: it needs Google Benchmark and nlohmann-json3-dev")
endif()
