// The album pipeline and its one picture step.
#include "download/album_pipeline.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <unordered_set>
#include <utility>

#include "download/manifest.h"
#include "download/naming.h"
#include "download/picture_io.h"
#include "download/repeat_record.h"
#include "platform/file_system.h"
#include "platform/sha256.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "shell/service_profile.h"
#include "shell/settings.h"

namespace download {
namespace {

using rt::operator""_gbk;

std::string_view BytesView(const rt::Bytes& body) {
  return {reinterpret_cast<const char*>(body.data()), body.size()};
}

// A picture's place: its id at its number.
struct Place {
  rt::Text id;
  int64_t number = -1;
  bool Is(const PictureEntry& entry) const { return number == entry.number && id == entry.id; }
  static Place Of(const PictureEntry& entry) { return {entry.id, entry.number}; }
};

// Takes each picture of an album through: skip by the record, fetch (ahead
// or now), check the image, name, write, record, and tells what came of it.
class PictureStep {
 public:
  PictureStep(RunContext& run, const SelectionItem& album, const AlbumStyle& style,
              const AlbumFacts& facts, const PagingStrategy& pages, RepeatRecord& record)
      : run_(run),
        album_(album),
        style_(style),
        facts_(facts),
        pages_(pages),
        record_(record),
        manifest_(facts.folder, run.snapshot.manifest),
        fetcher_(AlbumFetcher(run, album.id)) {}

  bool ahead() const { return fetcher_.parallel() > 1; }

  // Adds the page's pictures to the fetch-ahead plan and sets page.first.
  // Ahead go the pictures that will be fetched as things stand now; a guess
  // proved wrong at a picture's turn only costs a fetch.
  void Plan(PicturePage& page) {
    std::vector<rt::Text> plan;
    plan.reserve(page.entries.size());
    for (const PictureEntry& entry : page.entries) {
      bool fetch = ahead() && !last_planned_.Is(entry) && IsPictureId(entry.id) && !Skips(entry.id);
      // With the record on, a picture listed again is skipped at its turn
      // once its first listing is saved.
      if (fetch && run_.snapshot.options.prevent_repeat) fetch = planned_.insert(entry.id).second;
      plan.push_back(fetch ? entry.address : rt::Text());
    }
    if (!page.entries.empty()) last_planned_ = Place::Of(page.entries.back());
    page.first = fetcher_.Add(std::move(plan));
  }

  // Takes entry `i` of `page` through the step.
  void Take(const PicturePage& page, size_t i) {
    const PictureEntry& entry = page.entries[i];
    run_.gate.SafePoint();
    if (style_.progress_first) run_.Emit(PictureStarted{pages_.ProgressOf(entry)});
    PictureDone done{.number = entry.number, .id = entry.id};
    if (last_done_.Is(entry)) {
      // The picture done just now, shown again first on the next page.
    } else if (Skips(entry.id)) {
      // A picture the folder's manifest holds and the record does not came
      // in with the folder: the record learns it.
      record_.Record(entry.id);
      run_.tally.skipped.fetch_add(1);
      done.outcome = PictureOutcome::kSkipped;
      last_done_ = Place::Of(entry);
    } else if (IsPictureId(entry.id)) {
      Save(entry, page.first + i, &done);
    }
    if (!style_.progress_first) done.progress = pages_.ProgressOf(entry);
    done.figures = run_.tally.Figures();
    run_.Emit(std::move(done));
  }

 private:
  // Returns true iff the picture is to be skipped: the run prevents repeats
  // and the record holds it, or else the album folder does (its manifest
  // names it, and its file is there as it was saved).
  bool Skips(std::string_view id) {
    return record_.Skip(id) || (run_.snapshot.options.prevent_repeat && manifest_.HoldsInPlace(id));
  }

  void Save(const PictureEntry& entry, size_t index, PictureDone* done) {
    rt::Bytes body;
    rt::Text extension;  // as the bytes say, whatever the entry said
    const bool fetched = FetchPicture(run_, fetcher_, index, entry.number, entry.address, &body,
                                      &extension, &done->why);
    run_.gate.Wait(style_.wait_after_fetch_ms);
    if (!fetched) return Fail(entry, done);
    // The picture host's stand-in for a picture it would not give: not
    // saved and not recorded, so that a later run asks for it again.
    if (IsPlaceholder(body, entry.width, entry.height)) {
      done->why = "占位图"_gbk;
      return Fail(entry, done);
    }
    const rt::Text name_part = run_.snapshot.options.describe_names
                                   ? DescriptionName(entry.description, entry.number, extension)
                                   : rt::Text();
    const std::string digest = manifest_.on() ? platform::Sha256Hex(BytesView(body)) : "";
    // The picture saved before at its number under another name part (an
    // interface that gives no descriptions, say) is that file, not a new one.
    SavedFile saved;
    if (const rt::Text held = manifest_.on() ? manifest_.FileHolding(entry.id, digest) : rt::Text();
        held.starts_with("(" + std::to_string(entry.number) + ")")) {
      saved = {held, false};
    } else {
      saved = WritePicture(facts_.folder, entry.number, name_part, extension, body,
                           {manifest_.on() ? &manifest_ : nullptr, entry.id, digest});
    }
    if (saved.name.empty()) {
      done->why = "无法写入文件"_gbk;
      return Fail(entry, done);
    }
    done->file = saved.name;
    const auto size = static_cast<int64_t>(body.size());
    Describe(entry, saved, digest, size);
    run_.tally.CountSaved(album_.id, entry.id, size);
    record_.Record(entry.id);
    done->outcome = PictureOutcome::kSaved;
    done->bytes = size;
    last_done_ = Place::Of(entry);
  }

  // The manifest's line for a picture whose file is in place: a file made
  // now gets one, a file left as it was only when the manifest has none for
  // it. A manifest that cannot be written is said once an album.
  void Describe(const PictureEntry& entry, const SavedFile& saved, const std::string& digest,
                int64_t size) {
    if (!manifest_.on() || (!saved.created && manifest_.LineFor(saved.name) != nullptr)) return;
    if (saved.created && !manifest_.HoldsId(entry.id)) run_.tally.added.fetch_add(1);
    const ManifestLine line{.file = saved.name,
                            .id = entry.id,
                            .description = entry.description,
                            .address = entry.address,
                            .bytes = size,
                            .sha256 = digest,
                            .time = UtcStamp(std::time(nullptr)),
                            .album_id = album_.id,
                            .album = album_.name,
                            .board = run_.snapshot.source.board_title};
    if (manifest_.Append(line) || manifest_failed_) return;
    manifest_failed_ = true;
    run_.Emit(AlbumNote{"警告：图片清单"_gbk + rt::Text(kManifestName) +
                        "无法写入，本相册的图片照常下载\r\n"_gbk});
  }

  // A picture not saved: kept for the run's closing account; a later run
  // tries it again.
  void Fail(const PictureEntry& entry, PictureDone* done) {
    run_.tally.CountFailed({album_.name, album_.id, entry.id, done->why});
    done->outcome = PictureOutcome::kFailed;
  }

  RunContext& run_;
  const SelectionItem& album_;
  const AlbumStyle& style_;
  const AlbumFacts& facts_;
  const PagingStrategy& pages_;
  RepeatRecord& record_;
  Manifest manifest_;
  bool manifest_failed_ = false;  // the warning has been logged
  PictureFetcher fetcher_;
  Place last_done_;                       // the picture saved or skipped last
  Place last_planned_;                    // the last picture of the page planned last
  std::unordered_set<rt::Text> planned_;  // ids fetched ahead in this album
};

// Creates the album folder; a failure is tried once more. A folder there
// already loses the temporary files an earlier, killed run left in it.
void MakeAlbumFolder(RunContext& run, bool announce, const rt::Text& folder) {
  if (platform::IsDirectory(rt::ToUtf8(folder))) {
    const int removed = platform::RemoveLeftoverTemporaries(rt::ToUtf8(folder));
    if (removed > 0) {
      run.Emit(AlbumNote{"已删除上次中断时留下的临时文件"_gbk + std::to_string(removed) +
                         "个\r\n\r\n"_gbk});
    }
    return;
  }
  rt::Text path = folder;
  if (shell::EnsureFolder(path)) {
    if (announce) run.Emit(AlbumNote{folder + "创建成功\r\n\r\n"_gbk});
    return;
  }
  if (announce) run.Emit(AlbumNote{folder + "创建失败，会再次执行一次\r\n\r\n"_gbk});
  shell::EnsureFolder(path);
}

// Every page the strategy yields, each picture through the step.
void WalkPages(RunContext& run, PagingStrategy& pages, PictureStep& step) {
  auto planned = [&step](std::optional<PicturePage> page) {
    if (page) step.Plan(*page);
    return page;
  };
  std::optional<PicturePage> next = planned(pages.Next());
  while (next) {
    PicturePage page = std::move(*next);
    next.reset();
    // Fetching ahead, the next page is asked for now, so that its pictures
    // join the window while this page's arrive.
    if (step.ahead()) next = planned(pages.Ahead());
    if (!page.readable) run.Emit(PageUnread{page.number});
    for (size_t i = 0; i < page.entries.size(); ++i) step.Take(page, i);
    run.gate.SafePoint();
    if (!next) next = planned(pages.Next());
  }
}

}  // namespace

rt::Text PercentText(int position, int maximum) {
  if (maximum <= 0) return {};
  const double percent = static_cast<double>(position) / maximum * 100;
  return std::to_string(rt::IntegerPart(percent)) + "%";
}

AlbumFacts ThreadAlbumFacts(const RunContext& run, const SelectionItem& album,
                            const rt::Text& safe_id, int64_t count) {
  const rt::Text suffix = "相册"_gbk + "_" + safe_id;
  const rt::Text name =
      PathPiece(album.name, static_cast<int>(rt::ToUtf8(suffix).size())) + "相册"_gbk;
  return {.folder = run.snapshot.save_root + "/" + name + "_" + safe_id + "/",
          .folder_name = name,
          .opening_line = "准备下载相册："_gbk + album.name + "\r\n\r\n",
          .bar_maximum = count};
}

AlbumFacts ListAlbumFacts(const RunContext& run, const SelectionItem& album,
                          const rt::Text& safe_id, int64_t total) {
  // Album titles repeat on a board: the album's id keeps each one's folder
  // its own, so no album's pictures replace another's.
  const rt::Text suffix = "_" + safe_id;
  const rt::Text title = PathPiece(album.name, static_cast<int>(rt::ToUtf8(suffix).size()));
  return {.folder = run.snapshot.save_root + "/" + PathPiece(run.snapshot.source.board_title) +
                    "/" + title + suffix + "/",
          .folder_name = title,
          .opening_line = "下载载相册:"_gbk + album.name + "\r\n\r\n",
          .bar_maximum = total};
}

CursorPages::CursorPages(RunContext& run, const SelectionItem& album, const rt::Text& safe_id)
    : run_(run),
      profile_(run.snapshot.profile),
      album_(album),
      safe_id_(safe_id),
      count_(std::min<int64_t>(rt::ToInteger(album.count), kMostPicturesPerAlbum)) {}

int64_t CursorPages::NotAsked() const {
  return PagesLost() > 0 ? std::max<int64_t>(count_ - static_cast<int64_t>(seen_.size()), 0) : 0;
}

Progress CursorPages::ProgressOf(const PictureEntry& entry) const {
  const int maximum = static_cast<int>(std::clamp<int64_t>(count_, 0, kBarLimit));
  const int shown = static_cast<int>(std::min<int64_t>(entry.number, INT32_MAX));
  return {static_cast<int>(std::min<int64_t>(entry.number, kBarLimit)), PercentText(shown, maximum),
          album_.count + "/" + std::to_string(entry.number)};
}

bool EveryPoster(const RunSnapshot& snapshot) {
  return snapshot.options.all_pictures || !snapshot.source.guide;
}

bool IsPictureId(std::string_view id) { return !id.empty() && id != "NULL" && id != "null"; }

bool NamesAPicture(const PicturePage& page) {
  return page.entries.empty() ||
         std::any_of(page.entries.begin(), page.entries.end(),
                     [](const PictureEntry& entry) { return IsPictureId(entry.id); });
}

rt::Text PictureItemAddress(const RunSnapshot& snapshot, std::string_view id) {
  return "http://" + snapshot.picture_host +
         shell::FillIn(snapshot.profile.picture_path, {{"id", id}});
}

rt::Text WithoutAll(std::string_view text, std::string_view removed) {
  return rt::ReplaceText(text, removed, "", {}, {}, true);
}

void DownloadAlbum(RunContext& run, const SelectionItem& album, int number, StrategyMaker make) {
  run.Emit(AlbumStarted{number, album});
  const rt::Text safe_id = AlbumIdPiece(album.id);
  const std::unique_ptr<PagingStrategy> pages = make(run, album, safe_id);
  const AlbumStyle style = pages->Style();
  RepeatRecord record(run, safe_id, style.record_line_breaks);
  const AlbumFacts facts = pages->Begin();
  run.Emit(BarReset{facts.bar_maximum});
  run.Emit(AlbumNote{facts.opening_line});
  MakeAlbumFolder(run, style.announce_folder, facts.folder);
  const int64_t added_before = run.tally.added.load();
  PictureStep step(run, album, style, facts, *pages, record);
  WalkPages(run, *pages, step);
  run.tally.unread_pages.fetch_add(pages->PagesLost());
  AlbumNotAsked not_asked{album.name, album.id, pages->NotAsked()};
  if (not_asked.pictures > 0) run.tally.CountNotAsked(not_asked);
  std::optional<int64_t> added;
  if (run.snapshot.manifest) added = run.tally.added.load() - added_before;
  run.Emit(AlbumFinished{"---完成相册《"_gbk + facts.folder_name + "》下载\r\n\r\n"_gbk,
                         std::move(not_asked), added});
}

}  // namespace download
