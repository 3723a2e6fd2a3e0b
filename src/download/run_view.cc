// The run's events in the main window.
#include "download/run_view.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/window_templates.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace download {
namespace {

namespace mw = frame::main_window;
using rt::operator""_gbk;

}  // namespace

void ShowRunButtons(frame::Frame& frame, bool run_shown, bool pause_shown, bool continue_shown,
                    bool stop_shown) {
  frame.SetVisible(mw::按钮_下载选中, run_shown);
  frame.SetVisible(mw::按钮_暂停线程, pause_shown);
  frame.SetVisible(mw::按钮_继续下载, continue_shown);
  frame.SetVisible(mw::按钮_结束下载, stop_shown);
}

void RunView::Show(const RunEvent& event) {
  std::visit([this](const auto& e) { (*this)(e); }, event);
}

void RunView::Log(std::initializer_list<std::string_view> texts) {
  frame_.AppendEditText(mw::编辑框_操作记录, texts);
}

void RunView::ShowProgress(const Progress& progress) {
  frame_.SetProgressPosition(mw::进度条1, progress.position);
  frame_.SetCaption(mw::标签_进度条比例, progress.percent);
  frame_.SetCaption(mw::标签_第多少张照片, progress.label);
}

void RunView::operator()(const RunStarted& e) {
  albums_ = e.albums.size();
  if (e.numbers.empty()) {
    Log({"当前未选择任何相册"_gbk, "\r\n\r\n"});
  } else {
    Log({"当前被选择相册编号:"_gbk, e.numbers, "\r\n\r\n"});
  }
  frame_.SetCaption(mw::标签_选择了相册数量,
                    "总共需下载["_gbk + std::to_string(e.albums.size()) + "]个相册"_gbk);
}

void RunView::operator()(const AlbumStarted& e) {
  frame_.SetCaption(mw::标签_正在下载相册,
                    "下载到第["_gbk + std::to_string(e.number) + "]个相册"_gbk);
}

void RunView::operator()(const AlbumNote& e) { Log({e.line}); }

void RunView::operator()(const BarReset& e) {
  frame_.SetCaption(mw::标签_进度条比例, "");
  frame_.SetProgressPosition(mw::进度条1, 0);
  frame_.SetProgressMaximum(mw::进度条1,
                            static_cast<int>(std::clamp<int64_t>(e.maximum, INT32_MIN, INT32_MAX)));
}

void RunView::operator()(const PictureStarted& e) { ShowProgress(e.progress); }

void RunView::operator()(const PictureDone& e) {
  if (e.outcome == PictureOutcome::kFailed) {
    Log({"图片("_gbk, std::to_string(e.number), ")未能保存["_gbk, e.why, "]："_gbk,
         rt::OneLine(e.id), "，下次下载时再试\r\n"_gbk});
  }
  if (e.progress) ShowProgress(*e.progress);
}

void RunView::operator()(const PageUnread& e) {
  Log({"图片列表第"_gbk, std::to_string(e.page), "页未能读取\r\n"_gbk});
}

void RunView::operator()(const RefusalWait& e) { Log({e.line}); }

void RunView::operator()(const AlbumFinished& e) {
  if (e.not_asked.pictures > 0) Log({NotAskedLine(e.not_asked)});
  if (e.added) Log({"本次新增"_gbk, std::to_string(*e.added), "张\r\n"_gbk});
  Log({e.line});
  frame_.SetCaption(mw::标签_第多少张照片, "");
}

void RunView::operator()(const RunFinished& e) {
  if (e.stopped) return;  // the stop button has said so
  // The closing account of the pictures the run could not save, one line
  // each, whatever a hostile name or id holds.
  if (!e.failures.empty()) {
    Log({"未能保存的图片共"_gbk, std::to_string(e.failures.size()), "张：\r\n"_gbk});
    for (const FailedPicture& failure : e.failures) {
      Log({"相册《"_gbk, rt::OneLine(failure.album), "》图片"_gbk, rt::OneLine(failure.id),
           "：["_gbk, failure.why, "]\r\n"_gbk});
    }
  }
  for (const AlbumNotAsked& album : e.not_asked) Log({NotAskedLine(album)});
  if (!e.failures.empty() || !e.not_asked.empty()) {
    Log({"勾选防止重复下载后再下载一次，只会下载这些图片\r\n\r\n"_gbk});
  }
  ShowRunButtons(frame_, true, false, false, false);
  // A run without albums did nothing: it is not told as done.
  const rt::Text ending = albums_ == 0 ? NothingSelectedEnding() : RunEnding(e.figures);
  Log({"-------"_gbk, ending, "--------\r\n\r\n"_gbk});
  frame_.SetCaption(mw::标签_第多少张照片, "下载完成"_gbk);
  frame_.ShowMessageBox(ending);
}

const rt::Text& NothingSelectedEnding() {
  static const rt::Text ending = "没有选择要下载的相册"_gbk;
  return ending;
}

rt::Text NotAskedLine(const AlbumNotAsked& album) {
  return "相册《"_gbk + rt::OneLine(album.album) + "》有"_gbk + std::to_string(album.pictures) +
         "张图片未能获取（所在的图片列表页未能读取）\r\n"_gbk;
}

rt::Text RunEnding(const RunFigures& figures) {
  if (figures.failed == 0 && figures.unread_pages == 0 && figures.not_asked == 0 &&
      figures.record_failures == 0) {
    return "全部下载完毕"_gbk;
  }
  rt::Text ending = "下载结束："_gbk;
  std::vector<rt::Text> parts;
  if (figures.failed > 0) parts.push_back(std::to_string(figures.failed) + "张图片未能保存"_gbk);
  if (figures.not_asked > 0) {
    parts.push_back(std::to_string(figures.not_asked) + "张图片未能获取"_gbk);
  }
  if (figures.unread_pages > 0) {
    parts.push_back(std::to_string(figures.unread_pages) + "页图片列表未能读取"_gbk);
  }
  if (figures.record_failures > 0) {
    parts.push_back(std::to_string(figures.record_failures) +
                    "个相册的防止重复下载记录未能写入"_gbk);
  }
  for (size_t i = 0; i < parts.size(); ++i) ending += (i > 0 ? "，"_gbk : rt::Text()) + parts[i];
  return ending;
}

}  // namespace download
