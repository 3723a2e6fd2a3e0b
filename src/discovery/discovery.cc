// The discovery handlers hooked into the shell's events.
#include "discovery/discovery.h"

namespace discovery {

Discovery::Discovery(frame::Frame& frame, shell::Shell& shell, RetrievalPauses pauses)
    : retrieval_(frame, shell.state(), pauses), list_(frame) {
  shell::Hooks& hooks = shell.hooks();
  hooks.find_albums = [this] { retrieval_.FindPressed(); };
  hooks.select_all = [this] { list_.SelectAllClicked(); };
  hooks.invert_ticks = [this] { list_.InvertClicked(); };
  hooks.find_from_top = [this] { list_.FindFromTop(); };
  hooks.find_next = [this] { list_.FindNext(); };
  hooks.find_previous = [this] { list_.FindPrevious(); };
  hooks.open_save_folder = [this] { list_.OpenSaveFolder(); };
}

}  // namespace discovery
