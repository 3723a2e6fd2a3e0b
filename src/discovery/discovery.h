// Album discovery as the shell sees it: the retrieval and the list handlers,
// wired into the shell's hooks for the find button, the tick boxes, the find
// window and the open-folder button.
//
// Thread safety: made, used and destroyed on the frame's UI thread; see
// AlbumRetrieval for what its worker touches.
#ifndef TIEPIC_DISCOVERY_DISCOVERY_H_
#define TIEPIC_DISCOVERY_DISCOVERY_H_

#include "discovery/album_retrieval.h"
#include "discovery/list_handling.h"
#include "shell/main_window.h"

namespace discovery {

class Discovery {
 public:
  // Sets the shell's hooks; `shell` outlives this object, and this object
  // outlives the handling of every event that may reach the hooks.
  Discovery(frame::Frame& frame, shell::Shell& shell, RetrievalPauses pauses = {});

  AlbumRetrieval& retrieval() { return retrieval_; }
  ListHandling& list() { return list_; }

 private:
  AlbumRetrieval retrieval_;
  ListHandling list_;
};

}  // namespace discovery

#endif  // TIEPIC_DISCOVERY_DISCOVERY_H_
