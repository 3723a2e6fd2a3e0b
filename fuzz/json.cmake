tiepic_add_fuzzer(json_fuzzer ${CMAKE_CURRENT_LIST_DIR}/json_fuzzer.cc tiepic_json)
