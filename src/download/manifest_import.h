// The record learns from folders: the manifests under a folder (a save
// folder, or an album folder moved, copied or restored from elsewhere) tell
// which pictures it holds, and their ids go into their albums' records, so
// that a download with prevent-repeat on does not fetch them again. A
// picture whose file is missing, or no longer holds the bytes it was saved
// with, is not taken: a later download fetches it again (and never over the
// changed file).
//
// Thread safety: one import at a time, on a thread that opens no other
// record meanwhile (the record database keeps one current database).
#ifndef TIEPIC_DOWNLOAD_MANIFEST_IMPORT_H_
#define TIEPIC_DOWNLOAD_MANIFEST_IMPORT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace download {

struct ImportFigures {
  int64_t manifests = 0;        // manifest files read
  int64_t added = 0;            // ids new to their album's record
  int64_t present = 0;          // ids the record held already
  int64_t missing = 0;          // pictures whose file is gone
  int64_t changed = 0;          // pictures whose file no longer matches its digest
  int64_t record_failures = 0;  // albums whose record could not be used or written
};

// Reads every manifest under `folder` (UTF-8; the folder itself included)
// and adds the ids of the pictures whose files are in place to the records
// in the record folder, creating a missing record as a download does. With
// `check_only` nothing is written: the figures say what an import would
// do. `say` gets one UTF-8 line (without a line feed) for each picture
// missing or changed, and for what the records report.
ImportFigures ImportManifests(const std::string& folder, bool check_only,
                              const std::function<void(const std::string&)>& say);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_MANIFEST_IMPORT_H_
