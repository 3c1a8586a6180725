# Every object of the fuzz build carries libFuzzer's coverage hooks and both sanitizers. A finding of
# UBSan aborts like one of ASan, so that libFuzzer stops on it and keeps the input.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUOTAZIONI_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
