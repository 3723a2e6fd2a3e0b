// The board the demo serves from the stand-in of the service: three albums
// and a thread of the board 纸飞机, 21 pictures in all, every picture format,
// Chinese names and descriptions (one picture without), and a thread with
// pictures of several posters. tiepic-cli --demo downloads it; the
// screenshot program shows the desktop program downloading it.
//
// Thread safety: a pure function.
#ifndef TIEPIC_APP_DEMO_BOARD_H_
#define TIEPIC_APP_DEMO_BOARD_H_

#include "stand-in/data_set.h"

namespace demo {

// The same board every time; the last thread is the one that is no album.
standin::DataSet DemoBoard();

}  // namespace demo

#endif  // TIEPIC_APP_DEMO_BOARD_H_
