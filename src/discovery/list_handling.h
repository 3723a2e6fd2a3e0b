// The album list's handlers: tick all, invert the ticks, find albums by name
// in the find window (from the top, next, previous, wrapping round after
// "没有了") and open the save folder.
//
// Thread safety: every handler runs on the frame's UI thread.
#ifndef TIEPIC_DISCOVERY_LIST_HANDLING_H_
#define TIEPIC_DISCOVERY_LIST_HANDLING_H_

#include <string_view>

#include "frame/frame.h"

namespace discovery {

// The first row at or after `start` (going up) whose cell in `column`
// contains `keyword`, ignoring the case of A-Z and never splitting a
// double-byte character; -1 when none does. An empty keyword is found in
// every non-empty cell.
int FindAlbumForward(frame::Frame& frame, std::string_view keyword, int column, int start);
// The same, from `start` down to row 0.
int FindAlbumBackward(frame::Frame& frame, std::string_view keyword, int column, int start);

class ListHandling {
 public:
  explicit ListHandling(frame::Frame& frame) : frame_(frame) {}

  void SelectAllClicked();
  void InvertClicked();
  void FindFromTop();
  void FindNext();
  void FindPrevious();
  // Opens the save folder, or the program folder when none is set, with the
  // desktop's file browser.
  void OpenSaveFolder();

  int current_row() const { return current_row_; }

 private:
  void ShowFoundRow(int row);

  frame::Frame& frame_;
  rt::Text keyword_;
  // The row found last; -1 after a search found nothing. It starts at -1 so
  // that the first find-next of a run begins at row 0.
  int current_row_ = -1;
};

}  // namespace discovery

#endif  // TIEPIC_DISCOVERY_LIST_HANDLING_H_
