# Fuzz builds (ONDREL_FUZZ, clang only). Every library is compiled with
# libFuzzer's coverage instrumentation, so a fuzzer is steered by the code it
# exercises and not only by its entry file; executables link the coverage
# runtime, and the fuzz entries (tests/fuzz) link libFuzzer itself.
if(ONDREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ONDREL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ (or use tools/fuzz.sh)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()
