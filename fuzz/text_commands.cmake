tiepic_add_fuzzer(text_commands_fuzzer ${CMAKE_CURRENT_LIST_DIR}/text_commands_fuzzer.cc
                  tiepic_runtime)
