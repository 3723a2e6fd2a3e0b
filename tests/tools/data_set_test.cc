// Data sets: what each generated size holds, the hostile texts, and the
// folder form (round trip, stored bodies, and the reader's refusals).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "stand-in/data_set_format.h"
#include "stand-in/picture_files.h"
#include "stand_in_test_support.h"
#include "support/temp_dir.h"

namespace standin {
namespace {

using stand_in_test::Generated;

// Every field that the folder form keeps.
std::string Describe(const DataSet& d) {
  std::string out = std::to_string(d.seed) + "|" + d.board + "|" + d.forum_id + "|" +
                    d.style.page_charset + std::to_string(static_cast<int>(d.style.list_text)) +
                    std::to_string(static_cast<int>(d.style.guide_text)) +
                    std::to_string(static_cast<int>(d.style.album_list_text)) +
                    std::to_string(d.style.escape_slashes) + d.style.guide_img_format +
                    std::to_string(d.style.guide_amount_cap) +
                    std::to_string(d.style.guide_next_cap) + d.style.newest_version +
                    d.style.list_wall_type + "\n";
  for (const auto* pairs :
       {&d.style.renamed_members, &d.style.nested_members, &d.style.moved_paths}) {
    for (const auto& [first, second] : *pairs) out += "S" + first + ">" + second + "|";
    out += "\n";
  }
  for (const std::string& name : d.style.retyped_members) out += "R" + name + "|";
  out += "\n";
  for (const Thread& t : d.threads) {
    out += "T" + t.tid + "|" + t.title + "|" + std::to_string(t.album) + "|" + t.has_sep +
           "\n";
    for (const Picture& p : t.pictures) {
      out += "P" + p.id + "|" + FormatName(p.format) + "|" + std::to_string(p.size) +
             "|" + p.descr + "|" + std::to_string(p.by_starter) +
             std::to_string(static_cast<int>(p.address)) + "\n";
    }
  }
  return out;
}

TEST(StandInDataSets, EachSizeHoldsTheCasesTheProgramMustMeet) {
  struct Case {
    const char* size;
    size_t albums;
    size_t min_big_albums;  // over 200 pictures: two list pages or more
    size_t mixed_pictures;  // the thread of several posters
  } cases[] = {{"tiny", 4, 0, 12},
               {"small", 35, 1, 120},
               {"medium", 95, 3, 6000},
               {"7", 7, 0, 120}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    DataSet data = Generated(c.size);
    EXPECT_EQ(Describe(data), Describe(Generated(c.size))) << "not deterministic";
    EXPECT_NE(Describe(data), Describe(Generated(c.size, 2)));
    DataIndex index(&data);
    ASSERT_EQ(index.albums().size(), c.albums);
    size_t untitled = 0, empty = 0, big = 0, chinese = 0, long_names = 0;
    std::set<std::string> ids, tids;
    std::set<PictureFormat> formats;
    for (const Thread& t : data.threads) {
      tids.insert(t.tid);
      for (const Picture& p : t.pictures) {
        ids.insert(p.id);
        formats.insert(p.format);
      }
      if (!t.album) continue;
      untitled += t.title.empty();
      empty += t.pictures.empty();
      big += t.pictures.size() > 200;
      chinese += !t.title.empty() && static_cast<unsigned char>(t.title[0]) >= 0x80;
      long_names += t.title.size() > 12 * 3;
      EXPECT_EQ(t.has_sep, "0");
    }
    EXPECT_EQ(untitled, 1u);
    EXPECT_EQ(empty, 1u);
    EXPECT_GE(big, c.min_big_albums);
    EXPECT_GE(chinese, c.albums - 1);
    EXPECT_EQ(long_names, 1u);
    EXPECT_EQ(formats.size(), data.threads.size() > 10 ? 3u : formats.size());
    size_t pictures = 0;
    for (const Thread& t : data.threads) pictures += t.pictures.size();
    EXPECT_EQ(ids.size(), pictures) << "picture ids repeat";
    EXPECT_EQ(tids.size(), data.threads.size());
    // The ordinary threads: several posters, the starter only, no pictures.
    const Thread& mixed = data.threads[c.albums];
    const Thread& starter = data.threads[c.albums + 1];
    EXPECT_EQ(mixed.has_sep, "null");
    EXPECT_EQ(mixed.pictures.size(), c.mixed_pictures);
    EXPECT_LT(GuidePictures(mixed, true).size(), mixed.pictures.size());
    EXPECT_EQ(GuidePictures(starter, true).size(), starter.pictures.size());
    EXPECT_TRUE(data.threads[c.albums + 2].pictures.empty());
  }
}

TEST(StandInDataSets, HostileSetCarriesEveryHostileText) {
  DataSet data = Generated("small", 1, true);
  std::set<std::string> titles, descriptions;
  std::set<AddressKind> addresses;
  bool traversal_id = false, traversal_tid = false;
  for (const Thread& t : data.threads) {
    titles.insert(t.title);
    traversal_tid |= t.tid.find("..") != std::string::npos;
    for (const Picture& p : t.pictures) {
      descriptions.insert(p.descr);
      addresses.insert(p.address);
      traversal_id |= p.id == "../../escape";
    }
  }
  for (const std::string& text : HostileTexts()) {
    EXPECT_TRUE(titles.count(text)) << text;
    EXPECT_TRUE(descriptions.count(text)) << text;
  }
  EXPECT_EQ(Gbk(HostileTexts()[14]).size(), 1000u);
  EXPECT_NE(data.board.find('/'), std::string::npos);
  EXPECT_TRUE(traversal_id);
  EXPECT_TRUE(traversal_tid);
  EXPECT_EQ(addresses.size(), 3u);
}

TEST(StandInDataSets, FolderKeepsEveryFieldAndServesStoredBodies) {
  testing_support::TempDir dir;
  DataSet data = Generated("tiny", 5, true);
  data.style.page_charset = "gbk";
  data.style.guide_text = JsonText::kGbk;
  data.style.escape_slashes = true;
  data.style.guide_img_format = "number";
  data.style.newest_version = "2.0";
  // The lists keep their order; a value may hold what the fields escape.
  data.style.renamed_members = {{"pic_id", "图片_id"}, {"screen", "big"}};
  data.style.nested_members = {{"pic_list", "pictures"}, {"total_num", "counts"}};
  data.style.retyped_members = {"total_num", "id"};
  data.style.moved_paths = {{"/photo/g/bw/picture/list", "/photo/g/bw/picture/list2"},
                            {"/photo/g", "/photo/g=2\\x"}};
  data.style.list_wall_type = "h";
  std::string error;
  ASSERT_TRUE(WriteDataSet(data, dir / "set", true, &error)) << error;
  std::optional<DataSet> read = ReadDataSet(dir / "set", &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(Describe(*read), Describe(data));
  EXPECT_EQ(read->picture_folder, dir / "set/pictures");
  // Stored bodies are what is served, so a test can hand-edit one.
  const Picture& picture = data.threads[0].pictures[0];
  EXPECT_EQ(PictureBody(*read, picture), PictureBody(data, picture));
  std::ofstream(dir / ("set/pictures/" + StoredPictureName(picture)), std::ios::binary)
      << "edited";
  EXPECT_EQ(PictureBody(*read, picture), "edited");
  // Without bodies every picture is generated again.
  ASSERT_TRUE(WriteDataSet(data, dir / "plain", false, &error)) << error;
  read = ReadDataSet(dir / "plain", &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->picture_folder, "");
  EXPECT_EQ(PictureBody(*read, picture),
            EncodePicture(picture.format, picture.id, 5, picture.size));
}

TEST(StandInDataSets, ReaderRefusesAnythingItCannotReadWhole) {
  testing_support::TempDir dir;
  const std::string header = std::string(kDataSetHeader) + "\n";
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"tiepic-stand-in data set 2\n", "data-set.txt:1: not a data set of a known version"},
      {header + "picture\tab\tjpg\t10\tstarter\tnormal\t\n",
       "data-set.txt:2: picture before any thread"},
      {header + "board\tx\t1\nthread\t1\talbum\t0\tt\npicture\tab\tbmp\t10\tstarter\tnorm"
                "al\t\n",
       "data-set.txt:4: bad picture record"},
      {header + "style\tpage_charset\tlatin1\n", "data-set.txt:2: bad style record"},
      {header + "style\tcolour\tred\n", "data-set.txt:2: bad style record"},
      {header + "style\tnested_member\tpic_list\n", "data-set.txt:2: bad style record"},
      {header + "style\trenamed_member\tpic_id=pic\"id\n", "data-set.txt:2: bad style record"},
      {header + "style\tmoved_path\t/photo/g=photo2\n", "data-set.txt:2: bad style record"},
      {header + "style\tlist_wall_type\tx\n", "data-set.txt:2: bad style record"},
      {header + "thread\t1\tmaybe\t0\tt\n", "data-set.txt:2: bad thread record"},
      {header + "seed\t12x\n", "data-set.txt:2: bad seed record"},
      {header + "board\tbad\\q\t1\n", "data-set.txt:2: bad escape"},
      {header + "\n# comment\nalbums\t3\n", "data-set.txt:4: unknown record \"albums\""},
      {"", "data-set.txt: empty"},
  };
  for (const Case& c : cases) {
    std::filesystem::create_directories(dir.path() / "bad");
    std::ofstream(dir / "bad/data-set.txt", std::ios::binary | std::ios::trunc) << c.text;
    std::string error;
    EXPECT_FALSE(ReadDataSet(dir / "bad", &error).has_value()) << c.text;
    EXPECT_EQ(error, c.error);
  }
  std::string error;
  EXPECT_FALSE(ReadDataSet(dir / "missing", &error).has_value());
}

TEST(StandInDataSets, GenerateSpecsAreParsedStrictly) {
  std::string error;
  std::optional<GeneratorOptions> options =
      ParseGenerateSpec("42,medium,hostile", &error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->seed, 42u);
  EXPECT_EQ(options->size, "medium");
  EXPECT_TRUE(options->hostile);
  for (const char* bad : {"", "x,small", "1,huge", "1,small,friendly", "1,-3"}) {
    EXPECT_FALSE(ParseGenerateSpec(bad, &error)) << bad;
  }
}

}  // namespace
}  // namespace standin
