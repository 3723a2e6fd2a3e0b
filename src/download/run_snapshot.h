// What a download run works from, read once on the UI thread when the run
// starts: the ticked albums, the save folder, the three options, the fetches
// in parallel, the service's hosts and what the album retrieval left. The
// desktop program's controls stay the truth for what the user sets; a change
// of the folder box, an option or the album list during a run (a key typed
// into the folder box that had the focus, a new retrieval) is for the next
// run and changes nothing of the running one.
//
// Thread safety: a snapshot is immutable once taken and may be read from any
// thread.
#ifndef TIEPIC_DOWNLOAD_RUN_SNAPSHOT_H_
#define TIEPIC_DOWNLOAD_RUN_SNAPSHOT_H_

#include <string_view>
#include <vector>

#include "discovery/album_retrieval.h"
#include "frame/frame.h"
#include "shell/program_state.h"

namespace download {

// One ticked album row: picture count, album id and album name.
struct SelectionItem {
  rt::Text count;
  rt::Text id;
  rt::Text name;
};

// The selection item's text form, count + "--@@--" + id + "--@@--" + name,
// and back; a missing third field is an empty name, and a name that holds
// "--@@--" is cut there.
rt::Text PackSelectionItem(const SelectionItem& item);
SelectionItem SplitSelectionItem(std::string_view packed);

// The options of a run.
struct RunOptions {
  bool prevent_repeat = false;  // 选择框_下载记录: skip what the record holds
  bool describe_names = false;  // 选择框_文件名: the description in the file name
  bool all_pictures = false;    // 选择框_下载帖子全部图片: every poster's, not the starter's
};

struct RunSnapshot {
  rt::Text numbers;  // the 序号 of every ticked row, each followed by "、"
  std::vector<SelectionItem> selection;  // the ticked rows with a count and an id
  rt::Text save_root;                    // absolute, GBK
  RunOptions options;
  int parallel = 1;  // picture fetches of an album in flight at once
  bool manifest = true;  // each album folder keeps its manifest (manifest.h)
  rt::Text web_host;
  rt::Text picture_host;
  rt::Text client_address;  // the mobile client's interfaces: scheme and host
  discovery::AlbumSource source;  // the list base address and the board title
  shell::ServiceProfile profile;  // what the picture lists are asked and read by
};

// The save root a run writes under, for the text of the save-folder box: the
// text itself when it is an absolute path; for an empty text the program
// folder (which the box shows when no folder is set); a relative text is
// taken as relative to that folder, never to the working folder.
rt::Text SaveRootOf(std::string_view shown);

// Reads the snapshot (UI thread).
RunSnapshot TakeSnapshot(frame::Frame& frame, const shell::ProgramState& state,
                         const discovery::AlbumSource& source);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_RUN_SNAPSHOT_H_
