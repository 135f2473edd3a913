# libFuzzer targets for the image header readers, the thumbnail decoders and the Jet library
# reader. Need clang:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTESSALY_FUZZ=ON
#   cmake --build build-fuzz --target fuzz_imagesize fuzz_thumbs fuzz_jet
#   cp -r fuzz/corpus build-fuzz/corpus
#   build-fuzz/fuzz/fuzz_imagesize -max_total_time=600 -max_len=4096 build-fuzz/corpus
#   build-fuzz/fuzz/fuzz_jet -max_total_time=600 -max_len=262144 -close_fd_mask=2 build-fuzz/corpus/jet
# The thumbnail decoders, one path at a time (jpeg, png, gif, tiff, heif: the first byte of
# an input picks the path, so the corpora mix as they mutate):
#   build-fuzz/fuzz/fuzz_thumbs -max_total_time=600 -max_len=65536
#     -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=640 -close_fd_mask=2
#     -artifact_prefix=build-fuzz/thumbs- build-fuzz/corpus/thumbs/jpeg
# The bounds: a decoder may hold 64 M pixels of four bytes (256 MB) and a scaled copy, so
# one allocation past 640 MB or 2 GB resident is a fault; so is a photo of 64 KB that takes
# 10 s (the largest picture they take, a progressive JPEG of 64 M pixels, takes 4 s in the
# fuzzer; that picture with 5000 scans, 7 s). The libraries behind the decoders (Qt's
# readers, libjpeg, libpng, libtiff, libheif) are Debian's, not instrumented: the fuzzer is
# guided only by the decoders' own code, and sees their faults by the sanitizers' checks of
# what they hand over, by crashes, and by the bounds.
# A finding goes, minimised, to tests/data/thumbs/damaged:
#   build-fuzz/fuzz/fuzz_thumbs -minimize_crash=1 -runs=10000 -exact_artifact_path=OUT CRASH
# (a timeout or a memory finding is minimised with the same bound it broke). The seeds, the
# sound photos and the photos damaged by hand are made by make_thumb_seeds.
# The Jet reader's sources, built into its fuzzer and into the replay of the inputs that
# fuzzing found (tests/data/jet/damaged), which the test suite runs under the sanitizers.
# An input that crashes libmdb itself would take that in-process replay down with it: it
# goes to tests/data/jet/crashes, which test_jetimport replays (with damaged/) through
# import-jet, whose child holds such a crash.
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
# The thumbnail decoders as the media module builds them, with its include folders and
# libraries, built into their fuzzer and into the replay of its seeds and findings.
set(THUMB_DECODER_SOURCES ${CMAKE_SOURCE_DIR}/fuzz/fuzz_thumbs.cpp ${CMAKE_SOURCE_DIR}/src/media/ThumbDecode.cpp
                          ${CMAKE_SOURCE_DIR}/src/imagesize/ImageSize.cpp)
function(thumb_decoder_target target)
  target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:tessaly_media,INCLUDE_DIRECTORIES>)
  target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:tessaly_media,COMPILE_DEFINITIONS>)
  target_link_libraries(${target} PRIVATE $<TARGET_PROPERTY:tessaly_media,LINK_LIBRARIES>)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
add_executable(fuzz_thumbs_replay ${THUMB_DECODER_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
thumb_decoder_target(fuzz_thumbs_replay)
target_compile_options(fuzz_thumbs_replay PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(fuzz_thumbs_replay PRIVATE -fsanitize=address,undefined)
add_executable(make_thumb_seeds EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/fuzz/make_thumb_seeds.cpp
                                                 ${CMAKE_SOURCE_DIR}/src/media/GifWriter.cpp)
thumb_decoder_target(make_thumb_seeds)
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
  add_executable(fuzz_thumbs ${THUMB_DECODER_SOURCES})
  thumb_decoder_target(fuzz_thumbs)
  target_compile_options(fuzz_thumbs PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g -O1)
  target_link_options(fuzz_thumbs PRIVATE -fsanitize=fuzzer,address,undefined)
  add_executable(fuzz_jet ${JET_READER_SOURCES})
  jet_reader_target(fuzz_jet)
  target_compile_options(fuzz_jet PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g -O1)
  target_link_options(fuzz_jet PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
enable_testing()
add_test(NAME fuzz_jet_replay COMMAND fuzz_jet_replay ${CMAKE_SOURCE_DIR}/tests/data/jet/damaged
                                      ${CMAKE_SOURCE_DIR}/tests/data/jet)
set_tests_properties(fuzz_jet_replay PROPERTIES TIMEOUT 120)
# The findings and the photos damaged by hand through the decoders, then the seeds, which
# must also give a thumbnail. A sanitizer report or a broken promise of a decoder fails them.
set(THUMB_SEEDS)
foreach(path jpeg png gif tiff heif)
  list(APPEND THUMB_SEEDS ${CMAKE_SOURCE_DIR}/fuzz/corpus/thumbs/${path})
endforeach()
add_test(NAME fuzz_thumbs_replay COMMAND fuzz_thumbs_replay ${CMAKE_SOURCE_DIR}/tests/data/thumbs/damaged)
add_test(NAME fuzz_thumbs_replay_seeds COMMAND fuzz_thumbs_replay ${THUMB_SEEDS})
set_tests_properties(fuzz_thumbs_replay_seeds PROPERTIES ENVIRONMENT "TESSALY_THUMBS_SOUND=1")
# The same damaged photos held to the fuzzer's memory bound: no allocation past 640 MB.
add_test(NAME thumbs_damaged_bounded COMMAND fuzz_thumbs_replay ${CMAKE_SOURCE_DIR}/tests/data/thumbs/damaged)
set_tests_properties(thumbs_damaged_bounded PROPERTIES ENVIRONMENT "ASAN_OPTIONS=max_allocation_size_mb=640")
# Photos as cameras write them, larger than the seeds: each must give a thumbnail.
add_test(NAME thumbs_sound_photos COMMAND fuzz_thumbs_replay ${CMAKE_SOURCE_DIR}/tests/data/thumbs/sound)
set_tests_properties(thumbs_sound_photos PROPERTIES ENVIRONMENT "TESSALY_THUMBS_SOUND=1")
set_tests_properties(fuzz_thumbs_replay fuzz_thumbs_replay_seeds thumbs_damaged_bounded thumbs_sound_photos
                     PROPERTIES TIMEOUT 60)
