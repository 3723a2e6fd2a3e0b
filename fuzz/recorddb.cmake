# DbOpen and DbFind over arbitrary main and index files.
tiepic_add_fuzzer(recorddb_fuzzer ${CMAKE_CURRENT_SOURCE_DIR}/recorddb_fuzzer.cc tiepic_recorddb)
