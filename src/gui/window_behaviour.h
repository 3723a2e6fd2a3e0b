// What the desktop program adds to its windows' templates for a desktop
// whose windows grow and whose users type: how each control of the main
// window follows the window's growth, which button Enter presses from an
// edit box, which labels look clickable, and which windows Escape closes.
// The templates give one fixed layout; these rules keep it at the default
// size and let the album list and the log take any extra room.
//
// Thread safety: constant tables; any thread.
#ifndef TIEPIC_GUI_WINDOW_BEHAVIOUR_H_
#define TIEPIC_GUI_WINDOW_BEHAVIOUR_H_

#include "frame/window_model.h"

namespace gui {

// How a control follows its window beyond the template's size: its left
// and width move by shares x and w of the extra width, its top and height
// by shares y and h of the extra height. All zero: it keeps its place.
struct Growth {
  double x = 0, y = 0, w = 0, h = 0;
  bool none() const { return x == 0 && y == 0 && w == 0 && h == 0; }
};
Growth GrowthOf(frame::ControlRef control);

// The column of a growing list view that takes the list's extra width, or -1.
int GrowingColumn(frame::ControlRef list);

// The button that Enter in an edit box presses; control 0 for none.
frame::ControlRef EnterButton(frame::ControlRef edit);

// Returns true iff a label acts when pressed, so it should look like a link.
bool LooksClickable(const frame::ControlTemplate& label, frame::ControlRef ref);

// Returns true iff Escape closes the window (every window but the main one).
bool ClosesOnEscape(uint32_t window_id);

// The control of another window that a window opens beside (the find
// window: the album list); control 0 when it opens where its template says.
frame::ControlRef OpensBeside(uint32_t window_id);

// Returns true iff the window may grow beyond its template's size.
bool Grows(uint32_t window_id);

}  // namespace gui

#endif  // TIEPIC_GUI_WINDOW_BEHAVIOUR_H_
