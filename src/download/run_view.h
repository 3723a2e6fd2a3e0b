// The main window's view of a download run: turns the run's events into the
// labels, the progress bar, the run buttons, the operation log and the
// closing message box, as the desktop program shows a run.
//
// Thread safety: UI thread only.
#ifndef TIEPIC_DOWNLOAD_RUN_VIEW_H_
#define TIEPIC_DOWNLOAD_RUN_VIEW_H_

#include "download/run_events.h"
#include "frame/frame.h"

namespace download {

// Shows (true) or hides the four run buttons: 2:下载选中, 暂停下载, 继续下载, 结束下载.
void ShowRunButtons(frame::Frame& frame, bool run_shown, bool pause_shown, bool continue_shown,
                    bool stop_shown);

// The line that tells of an album's pictures never asked for.
rt::Text NotAskedLine(const AlbumNotAsked& album);
// How a run that ended by itself is summed up, in its closing line and box:
// "全部下载完毕" when nothing failed, else "下载结束：" and what did not come,
// e.g. "下载结束：2张图片未能保存，1页图片列表未能读取".
rt::Text RunEnding(const RunFigures& figures);
// How a run that had no album to download ends: "没有选择要下载的相册".
const rt::Text& NothingSelectedEnding();

class RunView {
 public:
  explicit RunView(frame::Frame& frame) : frame_(frame) {}
  void Show(const RunEvent& event);

 private:
  void operator()(const RunStarted& e);
  void operator()(const AlbumStarted& e);
  void operator()(const AlbumNote& e);
  void operator()(const BarReset& e);
  void operator()(const PictureStarted& e);
  void operator()(const PictureDone& e);
  void operator()(const PageUnread& e);
  void operator()(const RefusalWait& e);
  void operator()(const AlbumFinished& e);
  void operator()(const RunFinished& e);

  void Log(std::initializer_list<std::string_view> texts);
  void ShowProgress(const Progress& progress);

  frame::Frame& frame_;
  size_t albums_ = 0;  // the albums of the run under way
};

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_RUN_VIEW_H_
