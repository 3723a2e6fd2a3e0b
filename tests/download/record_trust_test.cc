// The repeat-download record across runs when it cannot be trusted: damaged
// files are set aside and replaced, a record that cannot be written is told
// and counted, and in every case the album's pictures are downloaded and no
// id is ever recorded twice.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "download/repeat_record.h"
#include "download_test_support.h"
#include "platform/file_system.h"
#include "recorddb/operations.h"
#include "support/unprivileged.h"

namespace download {
namespace {

constexpr char kTid[] = "4718500000";
constexpr int kPictures = 6;
constexpr size_t kDataStart = 188;  // header, field count, one descriptor
constexpr size_t kRecordSize = 24;

using Bytes = std::string;

void PutI32(Bytes& b, size_t at, int32_t v) {
  if (b.size() >= at + 4) std::memcpy(b.data() + at, &v, 4);  // little-endian host
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The ids a record file holds, in record order.
std::vector<std::string> RecordedIds(const fs::path& db) {
  const Bytes b = ReadFile(db);
  std::vector<std::string> ids;
  for (size_t at = kDataStart; at + kRecordSize <= b.size(); at += kRecordSize) {
    ids.push_back(b.substr(at + 4, 20));
  }
  return ids;
}

struct Damage {
  const char* name;
  bool sets_aside;  // false: the record is mended or rebuilt, and kept
  std::function<void(Bytes& db, Bytes& index)> apply;
  int lost = 0;                 // recorded pictures fetched again after the mend
  const char* told = nullptr;   // what the log says of a mend (UTF-8), if anything
};

class RecordTrustTest : public DownloadTest {
 protected:
  // One album of kPictures pictures, found, with prevent-repeat on; the
  // record lives in `data` (the program folder unless given).
  void Prepare(const fs::path& data = {}) {
    if (!data.empty()) data_ = data;
    album_ = &ServeOneAlbum(kTid, "春日", kPictures);
    Find(service_->BoardUrl());
    frame_.SetChecked(mw::选择框_下载记录, true);
  }
  fs::path Records() const { return data_ / "防止重复下载数据库"; }
  fs::path Db() const { return Records() / (std::string(kTid) + ".edb"); }
  fs::path Index() const { return Records() / (std::string(kTid) + ".ENX"); }
  std::map<std::string, std::string> ExpectedFiles() const {
    return Expected(*album_, "纸飞机吧_百度贴吧/春日_" + std::string(kTid));
  }

  // The copies set aside of `file`: name -> bytes.
  std::map<std::string, Bytes> Broken(const fs::path& file) const {
    std::map<std::string, Bytes> copies;
    const std::string prefix = file.filename().string() + ".broken-";
    for (const auto& e : fs::directory_iterator(Records())) {
      if (e.path().filename().string().starts_with(prefix)) {
        copies[e.path().filename().string()] = ReadFile(e.path());
      }
    }
    return copies;
  }

  // A run with the save folder emptied first, so that every picture has to
  // be written again; returns the pictures asked for.
  size_t RunAfresh() {
    fs::remove_all(save_);
    service_->log().Clear();
    Download();
    return PictureRequests();
  }

  // Expects every id of the album recorded exactly once.
  void ExpectRecordedOnce() {
    const std::vector<std::string> ids = RecordedIds(Db());
    EXPECT_EQ(ids.size(), static_cast<size_t>(kPictures));
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    EXPECT_EQ(ReadFile(Db()).size(), kDataStart + kRecordSize * ids.size());
  }

  std::string Ending() {
    const std::vector<std::string> boxes = Messages();
    return boxes.empty() ? std::string() : boxes.back();
  }

  // Writes the damaged files, then runs twice.
  void RunTwiceWith(const Damage& damage, const Bytes& good_db, const Bytes& good_index) {
    fs::remove_all(Records());
    fs::create_directories(Records());
    Bytes db = good_db, index = good_index;
    damage.apply(db, index);
    WriteFile(Db(), db);
    if (!index.empty()) WriteFile(Index(), index);
    frame_.SetText(mw::编辑框_操作记录, "");

    const size_t first = RunAfresh();
    EXPECT_EQ(Ending(), "全部下载完毕");
    EXPECT_EQ(control_.tally().record_failures.load(), 0);
    const std::map<std::string, Bytes> broken_db = Broken(Db());
    const std::map<std::string, Bytes> broken_index = Broken(Index());
    if (damage.sets_aside) {
      EXPECT_EQ(first, static_cast<size_t>(kPictures));
      EXPECT_TRUE(SameFiles(SavedFiles(), ExpectedFiles()));
      ASSERT_EQ(broken_db.size(), 1u);
      EXPECT_EQ(broken_db.begin()->second, db);
      const std::string suffix = broken_db.begin()->first.substr(std::strlen(kTid) + 4);
      EXPECT_EQ(suffix.size(), std::strlen(".broken-YYYYMMDD-HHMMSS")) << suffix;
      ASSERT_EQ(broken_index.size(), 1u);
      EXPECT_EQ(broken_index.begin()->first, std::string(kTid) + ".ENX" + suffix);
      const std::string log = Log();
      const size_t line = log.find("防止重复下载数据库已损坏（");
      ASSERT_NE(line, std::string::npos) << log;
      EXPECT_NE(log.find(broken_db.begin()->first + "，并新建了一个\r\n\r\n", line),
                std::string::npos)
          << log;
      EXPECT_EQ(log.find("警告"), std::string::npos) << log;
    } else {
      EXPECT_EQ(first, static_cast<size_t>(damage.lost));
      if (damage.told) {
        EXPECT_NE(Log().find(damage.told), std::string::npos) << Log();
      } else {
        EXPECT_EQ(Log().find("不完整"), std::string::npos) << Log();
      }
      EXPECT_TRUE(broken_db.empty());
      EXPECT_TRUE(broken_index.empty());
    }
    ExpectRecordedOnce();

    EXPECT_EQ(RunAfresh(), 0u);
    EXPECT_EQ(control_.tally().skipped.load(), kPictures);
    EXPECT_EQ(Broken(Db()).size(), damage.sets_aside ? 1u : 0u);
    ExpectRecordedOnce();
    EXPECT_EQ(recorddb::DbOpenCount(), 0);
  }

  fs::path data_ = folder_.path();
  const standin::Thread* album_ = nullptr;
};

const Damage kDamages[] = {
    {"empty file", true, [](Bytes& db, Bytes&) { db.clear(); }},
    {"cut to 50 bytes", true, [](Bytes& db, Bytes&) { db.resize(50); }},
    {"cut to the header", true, [](Bytes& db, Bytes&) { db.resize(112); }},
    {"magic", true, [](Bytes& db, Bytes&) { db[0] = 'X'; }},
    {"password variant", true, [](Bytes& db, Bytes&) { std::memcpy(db.data(), "WCDB", 4); }},
    {"version too new", true, [](Bytes& db, Bytes&) { PutI32(db, 4, 0x10001); }},
    {"negative count", true, [](Bytes& db, Bytes&) { PutI32(db, 16, -1); }},
    {"next sequence 0", true, [](Bytes& db, Bytes&) { PutI32(db, 20, 0); }},
    {"record size 0", true, [](Bytes& db, Bytes&) { PutI32(db, 24, 0); }},
    {"record size 48", true, [](Bytes& db, Bytes&) { PutI32(db, 24, 48); }},
    {"field count 0", true, [](Bytes& db, Bytes&) { PutI32(db, 112, 0); }},
    {"field type 13", true, [](Bytes& db, Bytes&) { PutI32(db, 136, 13); }},
    {"field type integer", true, [](Bytes& db, Bytes&) { PutI32(db, 136, 3); }},
    {"field type memo", true, [](Bytes& db, Bytes&) { PutI32(db, 136, 12); }},
    {"field size 0", true, [](Bytes& db, Bytes&) { PutI32(db, 144, 0); }},
    {"field size 16", true, [](Bytes& db, Bytes&) { PutI32(db, 144, 16); }},
    {"unterminated name", true, [](Bytes& db, Bytes&) { std::memset(db.data() + 116, 'x', 17); }},
    {"flipped name byte", true, [](Bytes& db, Bytes&) { db[116 + 7] ^= 0x01; }},
    {"huge count", false, [](Bytes& db, Bytes&) { PutI32(db, 16, 0x7fffffff); }, 0,
     "防止重复下载数据库不完整（记录了2147483647个，只剩6个），已修复"},
    {"cut inside its records", false,
     [](Bytes& db, Bytes&) { db.resize(kDataStart + kRecordSize * 2 + 5); }, 4,
     "防止重复下载数据库不完整（记录了6个，只剩2个），已修复"},
    {"torn last record", false, [](Bytes& db, Bytes&) { db += Bytes(10, 'z'); }},
    {"index cut", false, [](Bytes&, Bytes& index) { index.resize(100); }},
    {"index missing", false, [](Bytes&, Bytes& index) { index.clear(); }},
};

// Each damaged record, run twice: the pictures are downloaded, the damaged
// files are kept under the broken name with their bytes, the new record
// skips everything on the second run, and no id is recorded twice.
TEST_F(RecordTrustTest, DamagedRecordsAreSetAsideAndReplaced) {
  Prepare();
  Download();
  ASSERT_EQ(PictureRequests(), static_cast<size_t>(kPictures));
  const Bytes good_db = ReadFile(Db());
  const Bytes good_index = ReadFile(Index());
  ASSERT_EQ(good_db.size(), kDataStart + kRecordSize * kPictures);

  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.name);
    RunTwiceWith(damage, good_db, good_index);
  }
}

// A broken copy is never written over: a later one of the same second takes
// the next number, with its index beside it.
TEST_F(RecordTrustTest, BrokenCopiesNeverReplaceEachOther) {
  Prepare();
  fs::create_directories(Records());
  const std::string taken = std::string(kTid) + ".edb." + rt::ToUtf8(BrokenSuffix(time(nullptr)));
  std::vector<std::string> earlier;
  for (int round = 0; round < 3; ++round) {
    earlier.push_back(std::string("earlier copy ") + char('a' + round));
    const std::string name = round == 0 ? taken : taken + "-" + std::to_string(round + 1);
    WriteFile(Records() / name, earlier.back());
  }
  WriteFile(Db(), "not a record");
  WriteFile(Index(), "not an index");
  RunAfresh();
  const std::map<std::string, Bytes> copies = Broken(Db());
  // Unless the clock turned a second meanwhile, the copy is the fourth.
  ASSERT_GE(copies.size(), 4u);
  for (int round = 0; round < 3; ++round) {
    const std::string name = round == 0 ? taken : taken + "-" + std::to_string(round + 1);
    EXPECT_EQ(copies.at(name), earlier[round]);
  }
  if (copies.contains(taken + "-4")) {
    EXPECT_EQ(copies.at(taken + "-4"), "not a record");
    EXPECT_EQ(ReadFile(Records() / (std::string(kTid) + ".ENX.broken-" +
                                    taken.substr(taken.find("broken-") + 7) + "-4")),
              "not an index");
  }
  EXPECT_EQ(RunAfresh(), 0u);
  ExpectRecordedOnce();
}

// Runs `body` with files limited to `bytes` (a disk that fills up), the
// signal a longer write raises ignored so that the write fails instead.
void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& body) {
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const sighandler_t handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = old;
  limited.rlim_cur = bytes;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  body();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, handler);
}

// A full disk: a record that could not be created leaves no file behind
// and is created once there is room; one that fills up while pictures are
// recorded is given up for the album, told, counted, and mended later.
TEST_F(RecordTrustTest, AFullDiskLeavesNoRecordBehindAndIsTold) {
  Prepare();
  WithFileSizeLimit(0, [&] { Download(); });
  EXPECT_FALSE(fs::exists(Db()));
  EXPECT_FALSE(fs::exists(Index()));
  std::string log = Log();
  EXPECT_NE(
      log.find(
          "防止重复下载数据库创建失败\r\n\r\n警告：防止重复下载数据库无法使用（创建数据库失败）"
          "，本相册本次下载不使用防止重复下载，图片照常下载\r\n\r\n"),
      std::string::npos)
      << log;
  EXPECT_EQ(control_.tally().record_failures.load(), 1);
  EXPECT_EQ(Ending(), "下载结束：6张图片未能保存，1个相册的防止重复下载记录未能写入");

  // Room again: the record is created and works.
  frame_.SetText(mw::编辑框_操作记录, "");
  EXPECT_EQ(RunAfresh(), static_cast<size_t>(kPictures));
  EXPECT_NE(Log().find("防止重复下载数据库创建成功"), std::string::npos);
  EXPECT_EQ(Ending(), "全部下载完毕");
  ExpectRecordedOnce();

  // The disk fills up after two pictures are recorded (while the third is
  // held on its way): the third addition fails, and the album's other
  // pictures are still saved.
  fs::remove(Db());
  frame_.SetText(mw::编辑框_操作记录, "");
  fs::remove_all(save_);
  service_->log().Clear();
  service_->AddFault("picture/" + album_->pictures[2].id + ":stall=500*1");
  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
  // Two recorded: the third picture is on its way, held for half a second.
  ASSERT_TRUE(ServeUntil([&] { return ReadFile(Db()).size() == kDataStart + 2 * kRecordSize; }));
  WithFileSizeLimit(kDataStart + 2 * kRecordSize + 10, [&] { WaitForRun(); });
  EXPECT_EQ(PictureRequests(), static_cast<size_t>(kPictures));
  EXPECT_TRUE(SameFiles(SavedFiles(), ExpectedFiles()));
  log = Log();
  EXPECT_NE(log.find("警告：防止重复下载数据库无法使用（写入失败：磁盘空间不够）"),
            std::string::npos)
      << log;
  EXPECT_EQ(control_.tally().record_failures.load(), 1);
  EXPECT_EQ(Ending(), "下载结束：1个相册的防止重复下载记录未能写入");
  EXPECT_EQ(RecordedIds(Db()).size(), 2u);

  // The torn record is cut at the next open: two skipped, four fetched.
  EXPECT_EQ(RunAfresh(), static_cast<size_t>(kPictures - 2));
  ExpectRecordedOnce();
  EXPECT_EQ(RunAfresh(), 0u);
}

// A records folder the program may not write to: no record can be made or
// opened for writing, the album is downloaded all the same, and the run says
// so instead of ending as if all were well. As an ordinary user, since the
// superuser writes anywhere.
TEST_F(RecordTrustTest, AReadOnlyRecordFolderIsToldAndCounted) {
  testing_support::RunUnprivileged([&](const std::string& folder) {
    platform::SetRunDirectory(folder);
    save_ = fs::path(folder) / "保存";
    frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8(save_.string()));
    Prepare(folder);
    fs::create_directories(Records());
    ASSERT_EQ(::chmod(Records().c_str(), 0555), 0);
    for (int run = 0; run < 2; ++run) {
      frame_.SetText(mw::编辑框_操作记录, "");
      EXPECT_EQ(RunAfresh(), static_cast<size_t>(kPictures));
      EXPECT_TRUE(SameFiles(SavedFiles(), ExpectedFiles()));
      EXPECT_NE(Log().find("警告：防止重复下载数据库无法使用（指定文件不能被访问）"),
                std::string::npos)
          << Log();
      EXPECT_EQ(control_.tally().record_failures.load(), 1);
      EXPECT_EQ(Ending(), "下载结束：1个相册的防止重复下载记录未能写入");
      EXPECT_TRUE(fs::is_empty(Records()));
    }

    // A record made before, its files read-only now: kept as it is, not
    // set aside, and told; it still skips what it holds.
    ASSERT_EQ(::chmod(Records().c_str(), 0755), 0);
    RunAfresh();
    const Bytes before = ReadFile(Db());
    ASSERT_EQ(before.size(), kDataStart + kRecordSize * kPictures);
    for (const fs::path& file : {Db(), Index()}) ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(Records().c_str(), 0555), 0);
    EXPECT_EQ(RunAfresh(), 0u);
    EXPECT_EQ(control_.tally().skipped.load(), kPictures);
    EXPECT_NE(Log().find("警告：防止重复下载数据库无法写入（"), std::string::npos) << Log();
    EXPECT_EQ(control_.tally().record_failures.load(), 1);
    EXPECT_TRUE(Broken(Db()).empty());
    EXPECT_EQ(ReadFile(Db()), before);
    ASSERT_EQ(::chmod(Records().c_str(), 0755), 0);
  });
}

}  // namespace
}  // namespace download
