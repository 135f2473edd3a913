# libFuzzer targets for the image header readers and the Jet library reader. Need clang:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTESSALY_FUZZ=ON
#   cmake --build build-fuzz --target fuzz_imagesize fuzz_jet
#   cp -r fuzz/corpus build-fuzz/corpus
#   build-fuzz/fuzz/fuzz_imagesize -max_total_time=600 -max_len=4096 build-fuzz/corpus
#   build-fuzz/fuzz/fuzz_jet -max_total_time=600 -max_len=262144 -close_fd_mask=2 build-fuzz/corpus/jet
# The Jet reader's sources, built into its fuzzer and into the replay of the inputs that
# fuzzing found (tests/data/jet/damaged), which the test suite runs under the sanitizers.
set(JET_READER_SOURCES ${CMAKE_SOURCE_DIR}/fuzz/fuzz_jet.cpp ${CMAKE_SOURCE_DIR}/src/db/JetReader.cpp
                       ${CMAKE_SOURCE_DIR}/src/db/Database.cpp)
function(jet_reader_target target)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/db ${CMAKE_SOURCE_DIR}/src/core)
  target_link_libraries(${target} PRIVATE Qt6::Core Qt6::Sql SQLite::SQLite3 PkgConfig::LIBMDB)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
add_executable(fuzz_jet_replay ${JET_READER_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
jet_reader_target(fuzz_jet_replay)
target_compile_options(fuzz_jet_replay PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(fuzz_jet_replay PRIVATE -fsanitize=address,undefined)
option(TESSALY_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(TESSALY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TESSALY_FUZZ needs clang (CC=clang CXX=clang++); the compiler is ${CMAKE_CXX_COMPILER_ID}")
  endif()
  # The readers are built into the fuzzer itself, instrumented with it.
  add_executable(fuzz_imagesize ${CMAKE_SOURCE_DIR}/fuzz/fuzz_imagesize.cpp
                                ${CMAKE_SOURCE_DIR}/src/imagesize/ImageSize.cpp)
  target_include_directories(fuzz_imagesize PRIVATE ${CMAKE_SOURCE_DIR}/src/imagesize)
  target_link_libraries(fuzz_imagesize PRIVATE Qt6::Core)
  target_compile_options(fuzz_imagesize PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g -O1)
  target_link_options(fuzz_imagesize PRIVATE -fsanitize=fuzzer,address,undefined)
  set_target_properties(fuzz_imagesize PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_executable(fuzz_jet ${JET_READER_SOURCES})
  jet_reader_target(fuzz_jet)
  target_compile_options(fuzz_jet PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g -O1)
  target_link_options(fuzz_jet PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
enable_testing()
add_test(NAME fuzz_jet_replay COMMAND fuzz_jet_replay ${CMAKE_SOURCE_DIR}/tests/data/jet/damaged
                                      ${CMAKE_SOURCE_DIR}/tests/data/jet)
set_tests_properties(fuzz_jet_replay PROPERTIES TIMEOUT 120)
