# libFuzzer target for the image header readers. Needs clang:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTESSALY_FUZZ=ON
#   cmake --build build-fuzz --target fuzz_imagesize
#   cp -r fuzz/corpus build-fuzz/corpus
#   build-fuzz/fuzz/fuzz_imagesize -max_total_time=600 -max_len=4096 build-fuzz/corpus
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
endif()
