// The program's two window templates, as data: the main window (toolbar, tab
// control with two pages) and the find window. Every control is listed once,
// below, with its kind, container, tab page, caption and position; from that
// one list come the template tables and a typed constant per control, named
// by its template name, so the logic writes `main_window::编辑框_号码`.
//
// Thread safety: the templates are built once, on first use, and are
// read-only afterwards.
#ifndef TIEPIC_FRAME_WINDOW_TEMPLATES_H_
#define TIEPIC_FRAME_WINDOW_TEMPLATES_H_

#include <cstdint>

#include "frame/window_model.h"

// X(name, kind, container, tab page, caption (UTF-8), left, top, width, height)
#define TIEPIC_MAIN_WINDOW_CONTROLS(X)                                                    \
  X(工具条1, kToolbar, , 0, "", 0, 0, 930, 57)                                            \
  X(标签6, kLabel, , 0, "", 0, 44, 920, 12)                                               \
  X(选择夹1, kTabControl, , 0, "", -2, 55, 923, 569)                                      \
  X(分组框2, kGroupBox, 选择夹1, 0, "", 12, 27, 902, 55)                                  \
  X(标签2, kLabel, 分组框2, 0, "帖子或贴吧首页网址：", 6, 14, 120, 32)                    \
  X(编辑框_号码, kEditBox, 分组框2, 0, "", 126, 16, 408, 30)                              \
  X(按钮_获取相册封面, kButton, 分组框2, 0, "1：获取", 556, 15, 62, 32)                   \
  X(按钮_下载选中, kButton, 分组框2, 0, "2:下载选中", 631, 14, 79, 32)                    \
  X(按钮_暂停线程, kButton, 分组框2, 0, "暂停下载", 685, 14, 64, 32)                      \
  X(按钮_继续下载, kButton, 分组框2, 0, "继续下载", 733, 13, 64, 32)                      \
  X(按钮_结束下载, kButton, 分组框2, 0, "结束下载", 810, 13, 64, 32)                      \
  X(分组框5, kGroupBox, 选择夹1, 0, "", 13, 82, 902, 50)                                  \
  X(标签_保存路径, kLabel, 分组框5, 0, "相册保存位置：", 8, 12, 112, 32)                  \
  X(编辑框_保存位置, kEditBox, 分组框5, 0, "", 125, 12, 408, 27)                          \
  X(按钮_选择位置, kButton, 分组框5, 0, "选择存放位置", 556, 10, 91, 29)                  \
  X(按钮_打开目录, kButton, 分组框5, 0, "打开目录", 664, 10, 79, 29)                      \
  X(分组框3, kGroupBox, 选择夹1, 0, "", 13, 134, 902, 426)                                \
  X(选择框_全选, kCheckBox, 分组框3, 0, "全选", 16, 22, 46, 16)                           \
  X(选择框_反选, kCheckBox, 分组框3, 0, "反选", 76, 22, 46, 16)                           \
  X(标签_查找, kLabel, 分组框3, 0, "查找相册", 168, 19, 48, 16)                           \
  X(标签_动态, kLabel, 分组框3, 0, "", 253, 15, 292, 20)                                  \
  X(超级列表框1, kListView, 分组框3, 0, "", 6, 41, 623, 339)                              \
  X(画板1, kDrawingPanel, 分组框3, 0, "", 455, 107, 112, 88)                              \
  X(分组框1, kGroupBox, 分组框3, 0, "", 637, 36, 253, 346)                                \
  X(标签3, kLabel, 分组框1, 0, "执行操作日志：", 8, 12, 88, 19)                           \
  X(编辑框_操作记录, kEditBox, 分组框1, 0, "", 8, 36, 232, 304)                           \
  X(标签_进度, kLabel, 分组框3, 0, "下载进度：", 7, 384, 56, 35)                          \
  X(进度条1, kProgressBar, 分组框3, 0, "", 74, 389, 280, 24)                              \
  X(标签_进度条比例, kLabel, 分组框3, 0, "", 359, 390, 41, 23)                            \
  X(标签_选择了相册数量, kLabel, 分组框3, 0, "", 404, 390, 144, 23)                       \
  X(标签_正在下载相册, kLabel, 分组框3, 0, "", 554, 390, 110, 23)                         \
  X(标签_第多少张照片, kLabel, 分组框3, 0, "", 666, 390, 95, 23)                          \
  X(分组框8, kGroupBox, 选择夹1, 1, "", 9, 29, 876, 519)                                  \
  X(分组框9, kGroupBox, 分组框8, 0, "常用设置：", 9, 18, 384, 241)                        \
  X(选择框_下载记录, kCheckBox, 分组框9, 0,                                               \
    "开启防止重复下载（下载过，不再下载，影响速度）", 14, 32, 313, 20)                    \
  X(选择框_文件名, kCheckBox, 分组框9, 0, "使用描述作为文件名，不选就由程序自动命名", 14, \
    66, 313, 20)                                                                          \
  X(选择框_下载帖子全部图片, kCheckBox, 分组框9, 0, "下载帖子全部图片,不选则只下载楼主的", \
    14, 97, 258, 24)                                                                      \
  X(分组框10, kGroupBox, 分组框8, 0, "客服：", 401, 18, 459, 241)                         \
  X(标签12, kLabel, 分组框10, 0,                                                          \
    "使用中遇到问题或有建议，请点工具条上的“问题反馈”告诉我们。", 16, 36, 420, 40)       \
  X(标签13, kLabel, 分组框10, 0, "访问软件主页", 16, 96, 120, 24)                         \
  X(分组框11, kGroupBox, 分组框8, 0, "软件版本", 7, 265, 853, 241)                        \
  X(标签21, kLabel, 分组框11, 0, "当前版本：", 8, 78, 72, 40)                             \
  X(标签_banben, kLabel, 分组框11, 0, "", 79, 78, 95, 40)                                 \
  X(标签_xinbanben1, kLabel, 分组框11, 0, "最新版本：", 9, 126, 72, 40)                   \
  X(标签_zxbanben, kLabel, 分组框11, 0, "", 80, 126, 95, 40)                              \
  X(标签_banbenjieguo, kLabel, 分组框11, 0, "", 9, 37, 160, 24)                           \
  X(按钮_检测更新, kButton, 分组框11, 0, "检测程序是否有更新", 10, 173, 165, 40)          \
  X(按钮_检查服务, kButton, 分组框11, 0, "检查服务接口", 190, 173, 165, 40)                \
  X(标签19, kLabel, 分组框11, 0, "", 381, 11, 10, 224)                                    \
  X(标签20, kLabel, 分组框11, 0, "", 650, 11, 6, 224)                                     \
  X(标签4, kLabel, 分组框11, 0, "更多好用的小工具，请访问：", 400, 37, 230, 24)           \
  X(标签5, kLabel, 分组框11, 0, "更多软件", 400, 70, 120, 24)

#define TIEPIC_FIND_WINDOW_CONTROLS(X)                                          \
  X(标签_要查找的相册名称, kLabel, , 0, "要查找的相册名称：", 8, 19, 104, 32)   \
  X(编辑框1, kEditBox, , 0, "", 112, 19, 144, 32)                               \
  X(按钮_查找, kButton, , 0, "查找", 261, 19, 75, 32)                           \
  X(标签_结果, kLabel, , 0, "查找结果：", 8, 88, 56, 24)                        \
  X(标签_行位置, kLabel, , 0, "", 72, 88, 80, 24)                               \
  X(按钮_查找上一个, kButton, , 0, "上一个", 190, 80, 57, 32)                   \
  X(按钮_查找下一个, kButton, , 0, "下一个", 281, 80, 57, 32)

#define TIEPIC_CONTROL_INDEX(name, ...) name,
#define TIEPIC_CONTROL_REF(name, ...) \
  inline constexpr ControlRef name{kId, kFirstControlId + index::name};

namespace frame {

namespace main_window {
inline constexpr uint32_t kId = 0x52010001;
inline constexpr uint32_t kFirstControlId = 0x16000001;
namespace index {
enum : uint32_t { TIEPIC_MAIN_WINDOW_CONTROLS(TIEPIC_CONTROL_INDEX) kCount };
}
inline constexpr ControlRef kWindow{kId, 0};
TIEPIC_MAIN_WINDOW_CONTROLS(TIEPIC_CONTROL_REF)

// The toolbar's buttons, by index.
inline constexpr int kToolbarFetch = 0;     // "获取与下载"
inline constexpr int kToolbarSettings = 1;  // "设置与客服"
inline constexpr int kToolbarFeedback = 2;  // "问题反馈"

// The album list's columns, by index.
inline constexpr int kColumnTick = 0;
inline constexpr int kColumnNumber = 1;
inline constexpr int kColumnName = 2;
inline constexpr int kColumnCover = 3;
inline constexpr int kColumnCount = 4;
inline constexpr int kColumnId = 5;
inline constexpr int kColumnQuestion = 6;
inline constexpr int kColumnPassword = 7;
}  // namespace main_window

namespace find_window {
inline constexpr uint32_t kId = 0x5201632A;
inline constexpr uint32_t kFirstControlId = 0x16100001;
namespace index {
enum : uint32_t { TIEPIC_FIND_WINDOW_CONTROLS(TIEPIC_CONTROL_INDEX) kCount };
}
inline constexpr ControlRef kWindow{kId, 0};
TIEPIC_FIND_WINDOW_CONTROLS(TIEPIC_CONTROL_REF)
}  // namespace find_window

const WindowTemplate& MainWindowTemplate();
const WindowTemplate& FindWindowTemplate();

}  // namespace frame

#undef TIEPIC_CONTROL_INDEX
#undef TIEPIC_CONTROL_REF

#endif  // TIEPIC_FRAME_WINDOW_TEMPLATES_H_
