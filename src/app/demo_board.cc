// The demo's board: three albums and a thread of the board 纸飞机, with
// Chinese names and descriptions and every picture format.
#include "app/demo_board.h"

#include <cstdio>
#include <initializer_list>
#include <string>

namespace demo {
namespace {

// 40 hex digits from a number: the demo's picture ids.
std::string PictureId(uint64_t n) {
  std::string id;
  for (uint64_t z = n * 0x9E3779B97F4A7C15ULL + 1; id.size() < 40;) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx",
                  static_cast<unsigned long long>(z ^ (z >> 31)));
    id += hex;
  }
  return id.substr(0, 40);
}

standin::Thread MakeThread(std::string tid, std::string title, bool album,
                           std::initializer_list<const char*> descriptions) {
  standin::Thread thread;
  thread.tid = std::move(tid);
  thread.title = std::move(title);
  thread.album = album;
  if (!album) thread.has_sep = "null";
  const standin::PictureFormat formats[] = {standin::PictureFormat::kJpeg,
                                            standin::PictureFormat::kPng,
                                            standin::PictureFormat::kGif};
  uint32_t n = 0;
  for (const char* descr : descriptions) {
    const uint64_t key = std::stoull(thread.tid) * 100 + n;
    standin::Picture& picture = thread.pictures.emplace_back();
    picture.id = PictureId(key);
    picture.format = formats[n % 3];
    picture.size = 3000 + static_cast<uint32_t>(key * 7919 % 14000);
    picture.descr = descr;
    picture.by_starter = album || n % 3 != 2;  // a third by other posters in the thread
    ++n;
  }
  return thread;
}

}  // namespace

standin::DataSet DemoBoard() {
  standin::DataSet data;
  data.seed = 13;
  data.board = "纸飞机";
  data.forum_id = "2086417";
  data.style.guide_img_format =
      "number";  // thread pictures saved under their own extension
  data.threads = {
      MakeThread("4718203956", "春日散步", true,
                 {"樱花树下", "河边的长椅", "", "IMG_2031", "落日", "回家的路"}),
      MakeThread("4718205833", "旧相机试片", true,
                 {"第一张", "胶片的颗粒", "窗台上的猫", "晚霞"}),
      MakeThread("4718207710", "海边的夏天", true,
                 {"浪花", "沙滩上的脚印", "灯塔", "一只海鸥", "雨中的伞"}),
      MakeThread("4718209587", "纸飞机试飞记录", false,
                 {"折纸", "第一次试飞", "楼下的观众", "飞过屋顶", "落在树上", "回收"}),
  };
  return data;
}

}  // namespace demo
