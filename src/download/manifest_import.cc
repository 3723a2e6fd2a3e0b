// Manifests into records: each album's pictures through the album's record,
// opened as a download opens it.
#include "download/manifest_import.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "download/manifest.h"
#include "download/naming.h"
#include "download/repeat_record.h"
#include "recorddb/errors.h"
#include "recorddb/operations.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"

namespace download {
namespace {

namespace fs = std::filesystem;

// The manifests under `folder`, in name order.
std::vector<fs::path> ManifestsUnder(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::recursive_directory_iterator
           it(folder, fs::directory_options::skip_permission_denied, ec),
       end;
       !ec && it != end; it.increment(ec)) {
    if (it->path().filename() == kManifestName && it->is_regular_file(ec)) {
      found.push_back(it->path());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

// What became of one picture of a manifest on disk.
enum class FileState { kInPlace, kMissing, kChanged };

FileState StateOf(const fs::path& file, const ManifestLine& line) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return FileState::kMissing;
  return FileMatches(file.string(), line.sha256) ? FileState::kInPlace : FileState::kChanged;
}

// A check's look into an album's record, which it never creates, sets
// aside or extends. Returns true iff the record holds `id`.
// It opens the record read-only, which repairs nothing, and builds its
// index in the temporary folder.
class RecordLook {
 public:
  explicit RecordLook(const rt::Text& album_id) {
    const rt::Text base = RecordFolder() + AlbumIdPiece(album_id);
    const bool there = rt::FileExists(base + ".edb");
    open_ = there && recorddb::DbOpen(base + ".edb", {.read_only = 1});
    if (there && !open_) {
      unreadable_ = rt::ToUtf8(base) + ".edb cannot be read (" +
                    rt::ToUtf8(recorddb::DbErrorText(recorddb::DbLastError())) +
                    "): its pictures count as new";
    }
    if (!open_) return;
    index_ = BuildTemporaryIndex();
    usable_ = !index_.empty();
  }
  ~RecordLook() {
    if (open_) recorddb::DbClose();
    std::error_code ec;
    if (!index_.empty()) fs::remove(index_, ec);
  }
  // Why a record that is there could not be read; "" when it could.
  const std::string& unreadable() const { return unreadable_; }
  bool Holds(std::string_view id) {
    if (!usable_) return false;
    recorddb::DbRewind();
    return recorddb::DbFind({rt::Value(rt::Text(id))});
  }

 private:
  bool open_ = false;
  bool usable_ = false;
  std::string index_;  // the temporary index, UTF-8
  std::string unreadable_;
};

// One album's lines of one manifest.
struct AlbumLines {
  rt::Text album_id;
  std::vector<const ManifestLine*> lines;
};

class Import {
 public:
  Import(bool check_only, const std::function<void(const std::string&)>& say)
      : check_only_(check_only), say_(say) {}

  void Read(const fs::path& path) {
    ++figures_.manifests;
    const std::vector<ManifestLine> lines = ReadManifestFile(path.string());
    // A file named by several lines is described by the last.
    std::map<rt::Text, const ManifestLine*> last;
    for (const ManifestLine& line : lines) last[line.file] = &line;
    std::map<rt::Text, AlbumLines> albums;
    for (const auto& [file, line] : last) {
      AlbumLines& album = albums[line->album_id];
      album.album_id = line->album_id;
      album.lines.push_back(line);
    }
    for (const auto& [id, album] : albums) Album(path.parent_path(), album);
  }

  const ImportFigures& figures() const { return figures_; }

 private:
  // Each picture once: in place when any file of its lines still holds it
  // (an edited file's picture saved again beside it is in place), else
  // changed when a file of its is there with other bytes, else missing.
  void Album(const fs::path& folder, const AlbumLines& album) {
    std::map<rt::Text, std::vector<const ManifestLine*>> by_id;
    for (const ManifestLine* line : album.lines) by_id[line->id].push_back(line);
    std::vector<const ManifestLine*> in_place;
    for (const auto& [id, lines] : by_id) {
      const ManifestLine* changed = nullptr;
      const ManifestLine* found = nullptr;
      for (const ManifestLine* line : lines) {
        const FileState state = StateOf(folder / rt::ToUtf8(line->file), *line);
        if (state == FileState::kInPlace && found == nullptr) found = line;
        if (state == FileState::kChanged) changed = line;
      }
      if (found != nullptr) {
        in_place.push_back(found);
      } else if (changed != nullptr) {
        ++figures_.changed;
        say_("changed " + (folder / rt::ToUtf8(changed->file)).string());
      } else {
        ++figures_.missing;
        say_("missing " + (folder / rt::ToUtf8(lines.back()->file)).string());
      }
    }
    if (check_only_) return Look(album.album_id, in_place);
    Record(album.album_id, in_place);
  }

  void Look(const rt::Text& album_id, const std::vector<const ManifestLine*>& lines) {
    RecordLook record(album_id);
    if (!record.unreadable().empty()) say_("record " + record.unreadable());
    std::set<rt::Text>& counted = counted_[album_id];
    for (const ManifestLine* line : lines) {
      const bool known = !counted.insert(line->id).second || record.Holds(line->id);
      ++(known ? figures_.present : figures_.added);
    }
  }

  void Record(const rt::Text& album_id, const std::vector<const ManifestLine*>& lines) {
    RunSnapshot snapshot;
    snapshot.options.prevent_repeat = true;  // Skip then tells what is recorded
    RunGate gate;
    RunTally tally;
    RunContext run(snapshot, gate, tally,
                   [this](RunEvent event) {
                     if (const auto* note = std::get_if<AlbumNote>(&event)) {
                       std::string line = rt::ToUtf8(note->line);
                       while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                         line.pop_back();
                       say_(line);
                     }
                   },
                   {});
    RepeatRecord record(run, AlbumIdPiece(album_id), 1, /*note_option=*/false);
    // A record given up (not created, not readable, not written) takes no
    // more ids; its warning has been said.
    const auto usable = [&tally] { return tally.record_failures.load() == 0; };
    for (size_t i = 0; i < lines.size() && usable(); ++i) {
      if (record.Skip(lines[i]->id)) {
        ++figures_.present;
        continue;
      }
      record.Record(lines[i]->id);
      if (usable()) ++figures_.added;
    }
    figures_.record_failures += tally.record_failures.load();
  }

  const bool check_only_;
  const std::function<void(const std::string&)>& say_;
  ImportFigures figures_;
  std::map<rt::Text, std::set<rt::Text>> counted_;  // a check's ids, by album
};

}  // namespace

ImportFigures ImportManifests(const std::string& folder, bool check_only,
                              const std::function<void(const std::string&)>& say) {
  Import import(check_only, say);
  for (const fs::path& path : ManifestsUnder(folder)) import.Read(path);
  return import.figures();
}

}  // namespace download
