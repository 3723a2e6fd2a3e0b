// The manifest of an album folder, ".tiepic.jsonl": one JSON object a line
// (JSON Lines, UTF-8) for each picture saved into the folder, appended by
// the picture step once the picture's file is in place and before its id is
// recorded, so that the folder itself says what it holds wherever it is
// moved, copied or restored. The hidden name keeps it out of picture
// viewers. It only ever grows: nothing in it is rewritten in place.
//
// A line, members in this order (texts UTF-8):
//
//   MEMBER       VALUE
//   file         the file's name in the album folder
//   id           the picture's id, whole (the record keeps 20 bytes of it)
//   description  the description as the album's listing gave it to the naming
//                (the service's escapes kept, its quote marks dropped)
//   address      the address the picture was fetched from
//   bytes        the file's size
//   sha256       the SHA-256 of the file's bytes, 64 lower-case hex digits
//   time         when it was saved, UTC: "2024-05-01T08:30:00Z"
//   album_id     the album's id (the name of its record)
//   album        the album's name, as its row named it
//   board        the board's title; "" for a thread's pictures
//
// Recovery: a kill may cut the last line; a line that does not end in a
// line feed, is not a JSON object or lacks its file, id or digest is
// ignored when the manifest is read, and the next append starts on a new
// line. A file named by several lines is described by the last of them.
//
// Thread safety: a Manifest belongs to one thread (the download worker);
// the free functions are safe on any thread.
#ifndef TIEPIC_DOWNLOAD_MANIFEST_H_
#define TIEPIC_DOWNLOAD_MANIFEST_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "runtime/value.h"

namespace download {

// The manifest's file name inside an album folder.
inline constexpr std::string_view kManifestName = ".tiepic.jsonl";

// One picture of a manifest; texts GBK, as everywhere inside the program.
struct ManifestLine {
  rt::Text file;
  rt::Text id;
  rt::Text description;
  rt::Text address;
  int64_t bytes = 0;
  std::string sha256;
  std::string time;
  rt::Text album_id;
  rt::Text album;
  rt::Text board;
};

// The line's text as the manifest holds it, UTF-8, without its line feed.
std::string PrintManifestLine(const ManifestLine& line);
// The picture of one line of a manifest (UTF-8, without its line feed), or
// nullopt for a line that is not one (see the recovery rule above).
std::optional<ManifestLine> ParseManifestLine(std::string_view utf8);
// The pictures of the manifest file at `path` (UTF-8), whole lines only, in
// file order; none when it is missing or unreadable.
std::vector<ManifestLine> ReadManifestFile(const std::string& path);

// The time `seconds` since the epoch as the manifest writes it.
std::string UtcStamp(int64_t seconds);

// An album folder's manifest as the picture step keeps it: what it held
// when the album began, and the lines added since.
class Manifest {
 public:
  // `folder`: the album folder, GBK, with a trailing '/'. A manifest that is
  // off reads nothing, holds nothing and writes nothing.
  Manifest(const rt::Text& folder, bool on);

  bool on() const { return on_; }
  // Returns true iff a line names picture `id`.
  bool HoldsId(std::string_view id) const;
  // Returns true iff the folder holds picture `id`: a line names it, and
  // that line's file is there with the bytes it was saved with. The answer
  // is kept for the album.
  bool HoldsInPlace(std::string_view id);
  // The name (GBK) of a file of the folder that holds picture `id` as it
  // was saved, with digest `sha256`; "" when there is none.
  rt::Text FileHolding(std::string_view id, std::string_view sha256);
  // The last line naming file `name` (GBK) of the folder, or nullptr.
  const ManifestLine* LineFor(std::string_view name) const;
  // Appends `line` to the file (see platform::AppendLine). Returns true iff
  // it is there; false also when the manifest is off.
  bool Append(const ManifestLine& line);

 private:
  void Take(ManifestLine line);

  const bool on_;
  std::string folder_;  // UTF-8, with its trailing '/'
  std::string path_;    // UTF-8
  std::vector<ManifestLine> lines_;
  std::unordered_map<rt::Text, size_t> by_file_;  // the last line of each file
  std::unordered_set<rt::Text> ids_;
  std::unordered_map<rt::Text, bool> in_place_;  // HoldsInPlace's answers
};

// Returns true iff the file at `path` (UTF-8) holds bytes of digest `sha256`.
bool FileMatches(const std::string& path, std::string_view sha256);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_MANIFEST_H_
