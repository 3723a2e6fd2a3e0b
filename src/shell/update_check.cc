// The version page read, compared and shown.
#include "shell/update_check.h"

#include "frame/window_templates.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace shell {

namespace mw = frame::main_window;
using rt::operator""_gbk;

rt::Text NewestVersion(std::string_view body, std::string_view version_key,
                       const ServiceProfile& profile) {
  return FindMarked(body, FillIn(profile.version_newest, {{"key", version_key}}));
}

const rt::Text& NewVersionMessage() {
  return "发现新版本！可以到软件主页下载最新版，或联系客服获取。"_gbk;
}

const rt::Text& UpdateCheckRunningCaption() { return "正在检查…"_gbk; }
const rt::Text& UpdateCheckFailedCaption() {
  return "检查失败，请稍后再试"_gbk;  // fits the label's 160 pixels
}

void UpdateCheck(frame::Frame& frame, const ProgramState& state) {
  // The button stays disabled while the check runs, and the result label
  // says so; a check that finds nothing new restores the label it had.
  const rt::Text before = frame.GetText(mw::标签_banbenjieguo);
  frame.WriteProperty(mw::按钮_检测更新, frame::kDisabled, true);
  frame.SetCaption(mw::标签_banbenjieguo, UpdateCheckRunningCaption());
  const rt::Text current = frame.GetText(mw::标签_banben);
  const rt::Text body = web::BodyText(web::InetRequest(state.service.version_page));
  const rt::Text newest = NewestVersion(body, state.version_key, state.profile);
  frame.SetCaption(mw::标签_zxbanben, newest);
  // Only the whole-number parts count: 1.5 against 1.0 is no update.
  const double difference =
      static_cast<double>(rt::ToInteger(newest)) - static_cast<double>(rt::ToInteger(current));
  const bool newer = newest != current && difference > 1e-7;
  if (newest.empty()) {
    frame.SetCaption(mw::标签_banbenjieguo, UpdateCheckFailedCaption());
  } else if (newest == current) {
    frame.SetCaption(mw::标签_banbenjieguo, "无需更新"_gbk);
  } else {
    // A check that failed before is over: its caption does not stay.
    const rt::Text kept = before == UpdateCheckFailedCaption() ? rt::Text() : before;
    frame.SetCaption(mw::标签_banbenjieguo, newer ? "有新版，联系客服获取最新版！"_gbk : kept);
  }
  frame.WriteProperty(mw::按钮_检测更新, frame::kDisabled, false);
  if (newer) frame.ShowMessageBox(NewVersionMessage());
}

}  // namespace shell
