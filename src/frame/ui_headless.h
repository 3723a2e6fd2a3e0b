// The headless back end: windows without a display. The frame's model is the
// whole window; dialogs are answered by a scripted responder, and the web
// pages and folders the program opens are recorded. Tests and the
// command-line front end drive the same handlers through it.
//
// Without a responder a message box is written to standard error (UTF-8)
// and answered with its first button, and the folder dialog is cancelled.
//
// Thread safety: called by the frame on its UI thread; the records may be
// read there too. SetResponder belongs to the UI thread.
#ifndef TIEPIC_FRAME_UI_HEADLESS_H_
#define TIEPIC_FRAME_UI_HEADLESS_H_

#include <functional>
#include <vector>

#include "frame/ui_backend.h"

namespace frame {

using rt::Text;

struct MessageBoxRequest {
  Text text;
  Text caption;
  int style = 0;
};

struct FolderRequest {
  Text title;
  Text initial_folder;
};

struct Responder {
  std::function<DialogButton(const MessageBoxRequest&)> message_box = nullptr;
  // The chosen folder as the file system spells it (UTF-8), "" to cancel.
  std::function<std::string(const FolderRequest&)> folder = nullptr;
};

// Lets a front end follow the windows without a display: the command-line
// front end prints the log and a progress bar from these.
struct Observer {
  std::function<void(const ControlState&, std::string_view gbk)> text_appended = nullptr;
  std::function<void(const ControlState&, int index)> property_changed = nullptr;
};

class HeadlessBackend : public UiBackend {
 public:
  void SetResponder(Responder responder) { responder_ = std::move(responder); }
  void SetObserver(Observer observer) { observer_ = std::move(observer); }

  // What the program has shown and opened so far.
  const std::vector<MessageBoxRequest>& message_boxes() const { return message_boxes_; }
  const std::vector<FolderRequest>& folder_requests() const { return folder_requests_; }
  const std::vector<Text>& opened() const { return opened_; }
  // How often a loaded window was only brought to the front.
  int brought_to_front() const { return brought_to_front_; }

  void Attach(Frame& frame) override { frame_ = &frame; }
  bool CreateWindowView(const WindowState&) override { return true; }
  void DestroyWindowView(uint32_t) override {}
  void BringToFront(uint32_t) override { ++brought_to_front_; }
  void PropertyChanged(const ControlState& c, int index) override {
    if (observer_.property_changed) observer_.property_changed(c, index);
  }
  void TextAppended(const ControlState& c, std::string_view gbk) override {
    if (observer_.text_appended) observer_.text_appended(c, gbk);
  }
  void ListChanged(const ControlState&, ListChange, int, int) override {}
  DialogButton MessageBox(const Text& text, const Text& caption, int style) override;
  std::string BrowseForFolder(const Text& title, const Text& initial_folder) override;
  void OpenExternal(const Text& address) override { opened_.push_back(address); }
  void RunLoop() override;
  void QuitLoop() override { quit_ = true; }
  void ProcessPending() override {}
  // The frame's own queue wakes the headless loop.
  void WakeUi() override {}

 private:
  Frame* frame_ = nullptr;
  Responder responder_;
  Observer observer_;
  std::vector<MessageBoxRequest> message_boxes_;
  std::vector<FolderRequest> folder_requests_;
  std::vector<Text> opened_;
  int brought_to_front_ = 0;
  bool quit_ = false;
};

}  // namespace frame

#endif  // TIEPIC_FRAME_UI_HEADLESS_H_
