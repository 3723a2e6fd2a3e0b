// One picture between the service and the disk: asked for with the page it
// belongs to as Referer, taken only when its bytes are those of an image
// (whose format names the file's extension), and written whole or not at all.
//
// Thread safety: RequestPicture and ImageExtension are safe on any thread;
// FetchPicture belongs to the download worker.
#ifndef TIEPIC_DOWNLOAD_PICTURE_IO_H_
#define TIEPIC_DOWNLOAD_PICTURE_IO_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "download/manifest.h"
#include "download/picture_fetcher.h"
#include "download/run_context.h"

namespace download {

// The page a picture of album or thread `id` belongs to, sent with its
// request as Referer: the thread's address on the web host, or the web
// host's front page (over https, as a browser now shows it) for an id that
// is not a number. The picture hosts answer a request without a Referer on
// the web host with a placeholder.
rt::Text RefererPage(std::string_view web_host, std::string_view id);

// Sends one picture request with a request object of its own and `referer`
// as the page it comes from. Touches no window.
PictureAnswer RequestPicture(const rt::Text& address, const rt::Text& referer);

// The fetcher of an album's pictures: the run's parallel fetches and gate,
// each request with the album's page (RefererPage) as Referer.
PictureFetcher AlbumFetcher(RunContext& run, std::string_view album_id);

// The extension the bytes of an image file call for: ".jpg", ".png",
// ".gif", ".webp" or ".bmp"; empty when the bytes begin no image.
std::string_view ImageExtension(const rt::Bytes& body);

// The width and height an image file's header gives; nullopt when the
// bytes begin no image whose header names them.
std::optional<std::pair<int64_t, int64_t>> ImageSize(const rt::Bytes& body);

// Returns true iff `body` is the picture hosts' placeholder in place of a
// picture declared `width` x `height`: a 200x200 or 238x238 image where the
// answer declared another size. A picture whose size was not declared is
// never taken for one.
bool IsPlaceholder(const rt::Bytes& body, int64_t width, int64_t height);

// Takes the answer for picture `index` of the fetcher's plan (fetched ahead,
// or now) and, while the service refuses it, asks again with the run's
// refusal rule, here on the worker; then passes a safe point (a stop that
// aborted the transfer ends the run there). Returns true iff the answer is a
// 2xx status with the bytes of an image; *extension is then the one those
// bytes call for. Otherwise *why says what went wrong. `number` names the
// picture in a refusal's log line.
bool FetchPicture(RunContext& run, PictureFetcher& fetcher, size_t index, int64_t number,
                  const rt::Text& address, rt::Bytes* body, rt::Text* extension, rt::Text* why);

// Who a picture being saved is, for telling whether a file under a name it
// would take holds it already.
struct PictureClaim {
  const Manifest* manifest = nullptr;  // the album folder's; nullptr: kept none
  std::string_view id{};
  std::string_view sha256{};  // of the picture's bytes
};

// Where a picture went: `name` in the folder ("" when nothing could be
// written), and whether its file was made now or was there already and left
// as it was.
struct SavedFile {
  rt::Text name{};
  bool created = false;
};

// Saves `body` in `folder` under `stem` + `extension`, never over another
// file. A file of that name may be this picture saved before, which is left
// as it is (not even its time changes): when the manifest names the file,
// only if it was saved as this picture (same id and digest) and still holds
// those bytes; when it does not, whenever the file holds the same bytes. Any
// other file there -- another picture's, or one the user changed since it was
// saved -- is kept, and the picture goes to the next free name of the form
// stem + "_2" + extension, "_3", ... (the stem cut where the name would pass
// 255 bytes), tried in that order, so that a rerun of an unchanged album
// makes no new file. Nothing in the folder is ever deleted or replaced.
SavedFile SaveUnder(const rt::Text& folder, std::string_view stem, std::string_view extension,
                    const rt::Bytes& body, const PictureClaim& claim = {});

// Saves the picture as "(" + number + ")" + name_part + extension (see
// SaveUnder), or, when that cannot be written, without the name part.
// The name is "" when both failed.
SavedFile WritePicture(const rt::Text& folder, int64_t number, std::string_view name_part,
                       std::string_view extension, const rt::Bytes& body,
                       const PictureClaim& claim = {});

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_PICTURE_IO_H_
