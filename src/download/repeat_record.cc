// The repeat-download record over the record database.
#include "download/repeat_record.h"

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

rt::Text LineBreaks(int pairs) {
  rt::Text breaks;
  for (int i = 0; i < pairs; ++i) breaks += "\r\n";
  return breaks;
}

}  // namespace

rt::Text RecordFolder() { return rt::DataDirectory() + "/" + shell::RecordFolderName() + "/"; }

RepeatRecord::RepeatRecord(RunContext& run, std::string_view album_id, int line_breaks)
    : prevent_repeat_(run.snapshot.options.prevent_repeat) {
  run.Emit(AlbumNote{(prevent_repeat_ ? "已经勾选了防止重复下载功能,已经下载的不会再次下载"_gbk
                                      : "未勾选了防止重复下载功能"_gbk) +
                     "\r\n\r\n"});
  rt::Text folder = RecordFolder();
  const rt::Text database = folder + rt::Text(album_id) + ".edb";
  if (!rt::FileExists(database)) {
    shell::EnsureFolder(folder);
    const bool created = recorddb::DbCreate(database, {{FieldName(), 10, 20}});
    run.Emit(AlbumNote{(created ? "防止重复下载数据库创建成功"_gbk : "防止重复下载数据库创建失败"_gbk) +
                       LineBreaks(line_breaks)});
  }
  open_ = recorddb::DbOpen(database);
  if (open_) recorddb::DbCreateIndex(folder + rt::Text(album_id), {FieldName()});
}

RepeatRecord::~RepeatRecord() {
  if (open_) recorddb::DbClose();
}

bool RepeatRecord::Find(std::string_view picture_id) {
  return open_ && recorddb::DbFind({rt::Value(rt::Text(picture_id))});
}

bool RepeatRecord::Skip(std::string_view picture_id) {
  if (open_) recorddb::DbRewind();
  return prevent_repeat_ && Find(picture_id);
}

void RepeatRecord::Record(std::string_view picture_id) {
  if (open_ && !Find(picture_id)) recorddb::DbAppend({rt::Value(rt::Text(picture_id))});
}

}  // namespace download
