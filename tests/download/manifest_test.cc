// The album folder's manifest across runs: a line for every picture saved
// and none for a failed one, a line cut by a kill that the next run leaves
// alone and writes after, a file the user changed that is never touched,
// and a folder whose manifest spares a download when the record does not
// know it.
#include "download/manifest.h"

#include <regex>

#include "download_test_support.h"
#include "platform/sha256.h"

namespace download {
namespace {

constexpr char kTid[] = "4718600000";

class ManifestTest : public DownloadTest {
 protected:
  void SetUp() override {
    album_ = &ServeOneAlbum(kTid, "春日", 4,
                            [](standin::Thread& t) { t.pictures[0].descr = "海边的日落"; });
    Find(service_->BoardUrl());
  }

  void Run(bool prevent_repeat) {
    frame_.SetChecked(mw::选择框_下载记录, prevent_repeat);
    service_->log().Clear();
    Download();
  }

  fs::path Folder() const { return save_ / "纸飞机吧_百度贴吧" / (std::string("春日_") + kTid); }
  fs::path ManifestFile() const { return Folder() / ".tiepic.jsonl"; }
  std::vector<ManifestLine> Lines() const { return ReadManifestFile(ManifestFile().string()); }
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const ManifestLine& line : Lines()) files.push_back(rt::ToUtf8(line.file));
    return files;
  }
  std::string Body(int i) const {
    return standin::PictureBody(service_->data(), album_->pictures[i]);
  }
  // The count of the album's closing account in the last run's log.
  std::string Added() {
    const std::string log = Log();
    const size_t at = log.rfind("本次新增");
    return at == std::string::npos ? "" : log.substr(at, log.find("\r\n", at) - at);
  }

  const standin::Thread* album_ = nullptr;
};

TEST_F(ManifestTest, EverySavedPictureGetsALineAFailedOneNone) {
  EXPECT_EQ(platform::Sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  service_->AddFault("picture/" + album_->pictures[2].id + ":status=404");
  const auto started = std::chrono::system_clock::now();
  Run(true);
  EXPECT_EQ(control_.tally().failed.load(), 1);
  EXPECT_EQ(Added(), "本次新增3张");

  const std::string text = ReadFile(ManifestFile());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
  EXPECT_TRUE(text.ends_with("}\n"));
  EXPECT_NE(text.find(R"("description":"海边的日落")"), std::string::npos) << text;  // UTF-8
  const std::vector<ManifestLine> lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  const int saved[] = {0, 1, 3};
  const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
  for (size_t i = 0; i < lines.size(); ++i) {
    const ManifestLine& line = lines[i];
    const standin::Picture& picture = album_->pictures[saved[i]];
    SCOPED_TRACE(picture.id);
    EXPECT_EQ(line.file, "(" + std::to_string(saved[i] + 1) + ").jpg");
    EXPECT_EQ(line.id, picture.id);  // whole, not the record's 20 bytes
    EXPECT_EQ(rt::ToUtf8(line.description), picture.descr);
    EXPECT_NE(line.address.find(picture.id), std::string::npos) << line.address;
    EXPECT_EQ(line.bytes, static_cast<int64_t>(Body(saved[i]).size()));
    EXPECT_EQ(line.sha256, platform::Sha256Hex(ReadFile(Folder() / rt::ToUtf8(line.file))));
    EXPECT_EQ(line.sha256, platform::Sha256Hex(Body(saved[i])));
    EXPECT_TRUE(std::regex_match(line.time, stamp)) << line.time;
    // UTC: within the minute of the run, whatever the local zone.
    std::tm utc{};
    ASSERT_NE(strptime(line.time.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc), nullptr);
    const auto when = std::chrono::system_clock::from_time_t(timegm(&utc));
    EXPECT_LT(std::chrono::abs(when - started), std::chrono::seconds(60)) << line.time;
    EXPECT_EQ(line.album_id, kTid);
    EXPECT_EQ(rt::ToUtf8(line.album), "春日");
    EXPECT_EQ(rt::ToUtf8(line.board), "纸飞机吧_百度贴吧");
  }

  // The failed picture comes next run, alone; a run over the unchanged
  // album without the record adds nothing.
  service_->faults().Clear();
  Run(true);
  EXPECT_EQ(PictureRequests(), 1u);
  EXPECT_EQ(Added(), "本次新增1张");
  Run(false);
  EXPECT_EQ(PictureRequests(), 4u);
  EXPECT_EQ(Added(), "本次新增0张");
  EXPECT_EQ(Files(), (std::vector<std::string>{"(1).jpg", "(2).jpg", "(4).jpg", "(3).jpg"}));
}

TEST_F(ManifestTest, ACutLineAndAnEditedFileAreLeftAsTheyAre) {
  Run(true);
  ASSERT_EQ(Lines().size(), 4u);
  // A kill in the middle of the last line's write; the user edits (2).jpg.
  std::string text = ReadFile(ManifestFile());
  text.resize(text.size() - 40);
  std::ofstream(ManifestFile(), std::ios::binary | std::ios::trunc) << text;
  std::ofstream(Folder() / "(2).jpg", std::ios::binary | std::ios::trunc) << "edited by the user";
  const auto edited = fs::last_write_time(Folder() / "(2).jpg");
  ASSERT_EQ(Files(), (std::vector<std::string>{"(1).jpg", "(2).jpg", "(3).jpg"}));

  Run(false);
  EXPECT_EQ(ReadFile(Folder() / "(2).jpg"), "edited by the user");
  EXPECT_EQ(fs::last_write_time(Folder() / "(2).jpg"), edited);
  EXPECT_EQ(ReadFile(Folder() / "(2)_2.jpg"), Body(1));
  EXPECT_EQ(ReadFile(Folder() / "(4).jpg"), Body(3));
  EXPECT_FALSE(fs::exists(Folder() / "(4)_2.jpg"));
  // What was there stays byte for byte; the cut line is ended, not joined.
  const std::string after = ReadFile(ManifestFile());
  EXPECT_TRUE(after.starts_with(text + "\n{")) << after;
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"(1).jpg", "(2).jpg", "(3).jpg", "(2)_2.jpg", "(4).jpg"}));
  EXPECT_EQ(Added(), "本次新增0张");

  // Once more: everything is known, nothing is written.
  Run(false);
  EXPECT_EQ(ReadFile(ManifestFile()), after);
  EXPECT_FALSE(fs::exists(Folder() / "(2)_3.jpg"));
}

TEST_F(ManifestTest, AFolderTheRecordDoesNotKnowIsNotFetchedAgainAndTeachesIt) {
  Run(true);
  const auto saved = SavedFiles();
  fs::remove_all(folder_.path() / "防止重复下载数据库");
  Run(true);
  EXPECT_EQ(PictureRequests(), 0u);
  EXPECT_EQ(control_.tally().skipped.load(), 4);
  // The record has learnt the folder: it spares a run without the manifest.
  fs::remove(ManifestFile());
  Run(true);
  EXPECT_EQ(PictureRequests(), 0u);
  EXPECT_TRUE(SameFiles(SavedFiles(), saved));

  // Without manifests: none is written, none consulted, none counted.
  shell_.state().manifest = false;
  fs::remove_all(folder_.path() / "防止重复下载数据库");
  Run(true);
  EXPECT_EQ(PictureRequests(), 4u);
  EXPECT_FALSE(fs::exists(ManifestFile()));
  EXPECT_EQ(Log().find("本次新增", Log().rfind("下载载相册")), std::string::npos);
}

}  // namespace
}  // namespace download

namespace download {
namespace {

// Texts from the service may hold bytes that are no whole GBK character: a
// line still stays one line, parses, and keeps every whole character.
TEST(ManifestLineTest, BrokenCharactersNeverSplitOrEndALine) {
  const struct {
    std::string description;  // GBK bytes
    std::string read_back;    // UTF-8
  } cases[] = {
      {"x\x81\ny", "x?\ny"},
      {"x\x81\"y", "x?\"y"},
      {"x\x81\\", "x乗"},  // 0x81 0x5C is one character
      {"\xba\xa3\xb1\xdf\xff", "海边?"},
      {"\xba", "?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.read_back);
    ManifestLine line{.file = "(1).jpg", .id = "abc", .description = c.description};
    line.sha256 = std::string(64, 'a');
    line.time = "2026-12-09T12:00:00Z";
    const std::string printed = PrintManifestLine(line);
    EXPECT_EQ(printed.find('\n'), std::string::npos) << printed;
    const std::optional<ManifestLine> parsed = ParseManifestLine(printed);
    ASSERT_TRUE(parsed) << printed;
    EXPECT_EQ(rt::ToUtf8(parsed->description), c.read_back);
    EXPECT_EQ(parsed->id, "abc");
  }
}

}  // namespace
}  // namespace download
