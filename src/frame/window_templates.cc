// Builds the two window templates from their control lists, then adds what a
// flat list does not carry: the toolbar's buttons, the tab titles, the list
// view's columns, the multi-line log, the hidden run buttons and the rules.
#include "frame/window_templates.h"

#include "runtime/gbk.h"

namespace frame {

using rt::FromUtf8;
using rt::Text;
using rt::operator""_gbk;

namespace {

#define TIEPIC_CONTROL_TEMPLATE(n_, k_, c_, p_, cap_, l_, t_, w_, h_) \
  {                                                                   \
    ControlTemplate& t = controls.emplace_back();                     \
    t.id = first_id + index::n_;                                      \
    t.name = #n_;                                                     \
    t.kind = ControlKind::k_;                                         \
    t.container = #c_;                                                \
    t.page = p_;                                                      \
    t.caption = FromUtf8(cap_);                                       \
    t.rect = {l_, t_, w_, h_};                                        \
  }

std::vector<ControlTemplate> MainControls() {
  using namespace main_window;
  const uint32_t first_id = kFirstControlId;
  std::vector<ControlTemplate> controls;
  TIEPIC_MAIN_WINDOW_CONTROLS(TIEPIC_CONTROL_TEMPLATE)
  return controls;
}

std::vector<ControlTemplate> FindControls() {
  using namespace find_window;
  const uint32_t first_id = kFirstControlId;
  std::vector<ControlTemplate> controls;
  TIEPIC_FIND_WINDOW_CONTROLS(TIEPIC_CONTROL_TEMPLATE)
  return controls;
}

#undef TIEPIC_CONTROL_TEMPLATE

// A vertical rule drawn by a label: "|" lines separated by CR LF.
Text VerticalRule(int height) {
  Text rule;
  for (int y = 0; y + 15 <= height; y += 15) rule += rule.empty() ? "|" : "\r\n|";
  return rule;
}

WindowTemplate BuildMain() {
  WindowTemplate w;
  w.id = main_window::kId;
  w.name = "启动窗口";
  w.caption = "tiepic 贴吧相册图片下载"_gbk;
  w.rect = {50, 50, 936, 656};
  w.controls = MainControls();
  auto at = [&w](std::string_view name) -> ControlTemplate& {
    return *const_cast<ControlTemplate*>(w.Find(name));
  };
  at("工具条1").items = {"获取与下载"_gbk, "设置与客服"_gbk, "问题反馈"_gbk};
  at("标签6").caption = Text(220, '_');
  at("选择夹1").items = {"  获取相册    "_gbk, "  帮助 客服  "_gbk};
  at("编辑框_操作记录").multi_line = true;
  for (const char* hidden : {"按钮_暂停线程", "按钮_继续下载", "按钮_结束下载"}) {
    at(hidden).visible = false;
  }
  at("超级列表框1").columns = {{"选择"_gbk, 60},   {"序号"_gbk, 40},     {"相册名称"_gbk, 120},
                               {"封面"_gbk, 100},  {"图片数量"_gbk, 70}, {"相册ID"_gbk, 80},
                               {"相册问题"_gbk, 80}, {"相册密码"_gbk, 80}};
  at("标签13").link = true;
  at("标签5").link = true;
  at("标签19").caption = VerticalRule(224);
  at("标签20").caption = VerticalRule(224);
  return w;
}

WindowTemplate BuildFind() {
  WindowTemplate w;
  w.id = find_window::kId;
  w.name = "窗口_查找";
  w.caption = "查找功能："_gbk;
  w.rect = {200, 200, 348, 152};
  w.controls = FindControls();
  return w;
}

}  // namespace

const WindowTemplate& MainWindowTemplate() {
  static const WindowTemplate tmpl = BuildMain();
  return tmpl;
}

const WindowTemplate& FindWindowTemplate() {
  static const WindowTemplate tmpl = BuildFind();
  return tmpl;
}

}  // namespace frame
