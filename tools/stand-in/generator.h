// Data sets made from a seed and a size, so that every test, benchmark and
// demo can name what it serves in a few characters ("1,small"). The same
// seed and size always give the same data set, bodies included.
//
// Sizes: "tiny" (4 albums), "small" (35 albums, 2 album pages), "medium"
// (95 albums, 4 pages, a thread of 6,000 pictures), "large" (300 albums with
// counts up to a few thousand), or a number of albums. Every size has albums
// with Chinese names, an untitled album, an empty album, an album over 200
// pictures (two list pages; not in "tiny"), and ordinary threads: one with pictures of
// several posters, one of its starter only, one without pictures. "hostile"
// adds names, board title, ids and descriptions holding path separators,
// "..", reserved characters, GBK trail bytes 0x5C and 0x7C, control
// characters and 1,000-byte texts, and empty and non-http picture addresses.
//
// Thread safety: pure functions.
#ifndef TIEPIC_TOOLS_STAND_IN_GENERATOR_H_
#define TIEPIC_TOOLS_STAND_IN_GENERATOR_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stand-in/data_set.h"

namespace standin {

struct GeneratorOptions {
  uint64_t seed = 1;
  std::string size = "small";
  bool hostile = false;
  uint32_t picture_size = 0;  // every body this many bytes; 0: sizes vary
};

// "SEED,SIZE[,hostile]" as given to the program's --generate.
std::optional<GeneratorOptions> ParseGenerateSpec(std::string_view spec,
                                                  std::string* error);

// The data set of `options`; nullopt (with *error) for an unknown size.
std::optional<DataSet> GenerateDataSet(const GeneratorOptions& options,
                                       std::string* error);

// The texts the hostile data set uses, for tests that check each one.
const std::vector<std::string>& HostileTexts();

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_GENERATOR_H_
