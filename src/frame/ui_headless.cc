// The headless back end's dialogs and loop.
#include "frame/ui_headless.h"

#include <cstdio>

#include "frame/frame.h"
#include "runtime/gbk.h"

namespace frame {

using rt::Text;
using rt::ToUtf8;

DialogButton HeadlessBackend::MessageBox(const Text& text, const Text& caption, int style) {
  message_boxes_.push_back({text, caption, style});
  if (responder_.message_box) return responder_.message_box(message_boxes_.back());
  std::string line = "[";
  line.append(ToUtf8(caption)).append("] ").append(ToUtf8(text)).append("\n");
  std::fwrite(line.data(), 1, line.size(), stderr);
  switch (style & 0xF) {
    case kButtonsAbortRetryIgnore: return DialogButton::kAbort;
    case kButtonsYesNoCancel:
    case kButtonsYesNo: return DialogButton::kYes;
    case kButtonsRetryCancel: return DialogButton::kRetry;
    default: return DialogButton::kOk;
  }
}

std::string HeadlessBackend::BrowseForFolder(const Text& title, const Text& initial_folder) {
  folder_requests_.push_back({title, initial_folder});
  return responder_.folder ? responder_.folder(folder_requests_.back()) : std::string();
}

void HeadlessBackend::RunLoop() {
  quit_ = false;
  while (!quit_ && !frame_->ending()) frame_->WaitAndDrainTasks();
}

}  // namespace frame
