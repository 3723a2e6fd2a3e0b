// The two album downloads a run hands each ticked album to: the cursor-paged
// one for a thread whose pictures come through the picture guide, and the
// page-numbered one for a board's albums. Both save every picture of the
// album into its own folder under the save root, show progress in the main
// window, and consult and extend the album's repeat-download record.
//
// Thread safety: run on the download worker only.
#ifndef TIEPIC_DOWNLOAD_ALBUM_DOWNLOADS_H_
#define TIEPIC_DOWNLOAD_ALBUM_DOWNLOADS_H_

#include "download/album_download.h"

namespace download {

// `album_name` receives the album's folder name.
void DownloadGuidePictures(RunContext& run, const rt::Text& count, const rt::Text& album_id,
                           rt::Text& album_name);

// `album_title` receives its safe form, the album's folder name.
void DownloadListPictures(RunContext& run, const rt::Text& count, const rt::Text& thread_id,
                          rt::Text& album_title);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_ALBUM_DOWNLOADS_H_
