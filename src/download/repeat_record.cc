// The repeat-download record over the record database.
#include "download/repeat_record.h"

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "recorddb/file.h"
#include "recorddb/operations.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "shell/settings.h"

namespace download {
namespace {

using rt::operator""_gbk;

const rt::Text& FieldName() {
  static const rt::Text name = "photo_id";
  return name;
}

constexpr int32_t kIdSize = 20;
constexpr int32_t kRecordSize = 4 + kIdSize;

rt::Text LineBreaks(int pairs) {
  rt::Text breaks;
  for (int i = 0; i < pairs; ++i) breaks += "\r\n";
  return breaks;
}

// Returns 0 when `database` is a table of picture ids (the one text field
// of 20 bytes, named as the index expects), kNotARecord when it is a table
// of other fields, or the code of a file that cannot be read as a table.
int32_t PeekRecord(const rt::Text& database, int32_t not_a_record, recorddb::TableCounts* counts) {
  std::vector<recorddb::FieldDescription> fields;
  int32_t record_size = 0;
  if (!recorddb::DbPeekTable(database, &fields, &record_size, counts)) {
    return recorddb::DbLastError();
  }
  const bool ids = record_size == kRecordSize && fields.size() == 1 &&
                   recorddb::EqualsIgnoringCase(fields[0].name, FieldName()) &&
                   fields[0].type == 10 && fields[0].size == kIdSize;
  return ids ? 0 : not_a_record;
}

rt::Text LastErrorText() { return recorddb::DbErrorText(recorddb::DbLastError()); }

}  // namespace

rt::Text RecordFolder() { return rt::DataDirectory() + "/" + shell::RecordFolderName() + "/"; }

std::string BuildTemporaryIndex() {
  std::error_code ec;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  if (ec) return {};
  static std::atomic<unsigned> serial{0};
  const std::string stem = (temp / ("tiepic-index-" + std::to_string(::getpid()) + "-" +
                                    std::to_string(serial.fetch_add(1))))
                               .string();
  if (!recorddb::DbCreateIndex(rt::FromUtf8(stem), {FieldName()})) return {};
  return stem + ".ENX";
}

rt::Text BrokenSuffix(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm local {};
  ::localtime_r(&t, &local);
  char stamp[64];  // room for any year the clock gives
  std::snprintf(stamp, sizeof stamp, "broken-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return stamp;
}

RepeatRecord::RepeatRecord(RunContext& run, std::string_view album_id, int line_breaks,
                           bool note_option)
    : run_(run), prevent_repeat_(run.snapshot.options.prevent_repeat), line_breaks_(line_breaks) {
  if (note_option) {
    run.Emit(AlbumNote{(prevent_repeat_ ? "已经勾选了防止重复下载功能,已经下载的不会再次下载"_gbk
                                        : "未勾选了防止重复下载功能"_gbk) +
                       "\r\n\r\n"});
  }
  rt::Text folder = RecordFolder();
  database_ = folder + rt::Text(album_id) + ".edb";
  index_ = folder + rt::Text(album_id);
  if (!rt::FileExists(database_)) {
    shell::EnsureFolder(folder);
    const bool created = Create();
    const rt::Text why = created ? rt::Text() : LastErrorText();
    Note(created ? "防止重复下载数据库创建成功"_gbk : "防止重复下载数据库创建失败"_gbk);
    if (!created) {
      GiveUp(why);
      return;
    }
  }
  const int32_t code = OpenChecked();
  if (code == 0) return;
  const rt::Text why = code == kNotARecord ? "不是防止重复下载数据库"_gbk : LastErrorText();
  Close();
  if (code == kNotARecord || recorddb::IsDamageCode(code)) {
    Renew(why);
  } else if (!OpenReadOnly(why)) {
    GiveUp(why);
  }
}

bool RepeatRecord::OpenReadOnly(const rt::Text& why) {
  if (!recorddb::DbOpen(database_, {.read_only = 1})) return false;
  open_ = true;
  temporary_index_ = BuildTemporaryIndex();
  if (temporary_index_.empty()) {
    Close();
    return false;
  }
  usable_ = true;
  read_only_ = true;
  Note("警告：防止重复下载数据库无法写入（"_gbk + why +
       "），本相册本次下载仍跳过已记录的图片，新下载的图片不会记入"_gbk);
  run_.tally.record_failures.fetch_add(1);
  return true;
}

RepeatRecord::~RepeatRecord() { Close(); }

bool RepeatRecord::Create() { return recorddb::DbCreate(database_, {{FieldName(), 10, kIdSize}}); }

int32_t RepeatRecord::OpenChecked() {
  // Checked before the open, which would mend the record count of a table
  // that is to be set aside as it was.
  recorddb::TableCounts counts;
  if (int32_t code = PeekRecord(database_, kNotARecord, &counts); code != 0) return code;
  if (!recorddb::DbOpen(database_)) return recorddb::DbLastError();
  open_ = true;
  // The open keeps the whole records and cuts the rest: ids that were lost
  // with a cut file are said, as their pictures come again.
  if (counts.held < counts.counted) {
    Note("防止重复下载数据库不完整（记录了"_gbk + std::to_string(counts.counted) + "个，只剩"_gbk +
         std::to_string(counts.held) + "个），已修复；缺少记录的图片会再次获取"_gbk);
  }
  if (!recorddb::DbCreateIndex(index_, {FieldName()})) return recorddb::DbLastError();
  usable_ = true;
  return 0;
}

void RepeatRecord::Close() {
  if (open_) recorddb::DbClose();
  open_ = false;
  usable_ = false;
  read_only_ = false;
  if (!temporary_index_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temporary_index_, ec);
    temporary_index_.clear();
  }
}

void RepeatRecord::Renew(const rt::Text& why) {
  rt::Text moved;
  if (!recorddb::DbSetAside(database_, index_, BrokenSuffix(std::time(nullptr)), &moved)) {
    return GiveUp("已损坏（"_gbk + why + "），且无法移开："_gbk + LastErrorText());
  }
  const rt::Text broken = "防止重复下载数据库已损坏（"_gbk + why + "），已移至"_gbk + moved;
  int32_t code = Create() ? OpenChecked() : recorddb::DbLastError();
  if (code == 0) return Note(broken + "，并新建了一个"_gbk);
  const rt::Text failure = code == kNotARecord ? "不是防止重复下载数据库"_gbk : LastErrorText();
  Close();
  Note(broken);
  GiveUp("新建失败："_gbk + failure);
}

void RepeatRecord::GiveUp(const rt::Text& why) {
  Close();
  Note("警告：防止重复下载数据库无法使用（"_gbk + why +
       "），本相册本次下载不使用防止重复下载，图片照常下载"_gbk);
  run_.tally.record_failures.fetch_add(1);
}

void RepeatRecord::Note(const rt::Text& line) {
  run_.Emit(AlbumNote{line + LineBreaks(line_breaks_)});
}

bool RepeatRecord::Find(std::string_view picture_id) {
  if (!usable_) return false;
  if (recorddb::DbFind({rt::Value(rt::Text(picture_id))})) return true;
  if (recorddb::DbLastError() != 0) GiveUp("查找失败："_gbk + LastErrorText());
  return false;
}

bool RepeatRecord::Skip(std::string_view picture_id) {
  if (open_) recorddb::DbRewind();
  return prevent_repeat_ && Find(picture_id);
}

void RepeatRecord::Record(std::string_view picture_id) {
  // A look-up that failed has given the record up: nothing is added then.
  if (!usable_ || read_only_ || Find(picture_id) || !usable_) return;
  if (!recorddb::DbAppend({rt::Value(rt::Text(picture_id))})) {
    GiveUp("写入失败："_gbk + LastErrorText());
  }
}

}  // namespace download
