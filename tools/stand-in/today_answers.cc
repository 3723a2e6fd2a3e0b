// The today parts' HTML pages, the forum-id lookup and the placeholders.
// Today's pages are script shells: the filler stands for the scripts a
// browser would run, and holds none of the marks the old pages carried
// (no <meta furl>, no PageData), so a reader that still looks for them
// finds nothing.
#include <cstdio>

#include "stand-in/picture_files.h"
#include "stand-in/texts.h"
#include "stand-in/today_answers.h"

namespace standin {
namespace {

constexpr size_t kShellBytes = 11000;  // a thread shell is at least this long

Answer Utf8Html(std::string page) {
  Answer answer;
  answer.content_type = "text/html; charset=UTF-8";
  answer.body = std::move(page);
  return answer;
}

Answer Jpeg(std::string body) {
  Answer answer;
  answer.content_type = "image/jpeg";
  answer.body = std::move(body);
  return answer;
}

uint64_t Fnv(std::string_view text) {
  uint64_t h = 1469598103934665603ULL;
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return h;
}

// One deferred script of the shell, named like a bundler's chunk.
std::string ChunkScript(size_t n) {
  char name[96];
  std::snprintf(name, sizeof name, "chunk-%03zu.%08llx.js", n,
                static_cast<unsigned long long>(Fnv(std::to_string(n)) & 0xFFFFFFFFULL));
  return std::string("<script src=\"//static.example.invalid/tb/pc/js/") + name +
         "\" defer crossorigin=\"anonymous\"></script>\n";
}

std::string ShellHead(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"UTF-8\"><meta "
         "name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>" +
         HtmlEscape(title) +
         "</title>\n<link rel=\"stylesheet\" "
         "href=\"//static.example.invalid/tb/pc/css/app.5d1e2c.css\">\n"
         "<script>window.__TB_ENV__={\"env\":\"prod\",\"shell\":1};</script>\n";
}

}  // namespace

uint64_t ForumId(const DataSet& data) {
  const std::string& id = data.forum_id;
  bool decimal = !id.empty() && id.size() <= 18;
  for (char c : id) decimal = decimal && c >= '0' && c <= '9';
  if (decimal && std::stoull(id) > 0) return std::stoull(id);
  return 10000000 + Fnv(data.board) % 90000000;
}

Answer PlaceholderPicture() {
  static const std::string body =
      EncodeGreyJpeg(200, 200, "tiepic-stand-in placeholder", kPlaceholderBytes);
  return Jpeg(body);
}

Answer LogoPicture() {
  static const std::string body = EncodeGreyJpeg(238, 238, "tiepic-stand-in logo", 0);
  return Jpeg(body);
}

Answer ThreadShellPage(const DataIndex& index, std::string_view tid) {
  const DataSet& data = index.data();
  const Thread* thread = index.FindThread(tid);
  if (!thread) return ThreadPage(index, Hosts{}, tid);  // the 404 page names no host
  std::string page = ShellHead(thread->title + "_" + data.board + "吧_百度贴吧");
  for (size_t n = 0; page.size() < kShellBytes; ++n) page += ChunkScript(n);
  page +=
      "</head><body><div id=\"app\"></div><noscript>请启用浏览器的 JavaScript "
      "后访问本页</noscript></body></html>\n";
  return Utf8Html(std::move(page));
}

Answer AlbumTabPage(const DataIndex& index, const Hosts& hosts, std::string_view kw) {
  const DataSet& data = index.data();
  if (!KeywordNamesBoard(kw, data.board)) return BoardPage(index, hosts, kw);
  std::string page = ShellHead(data.board + "吧_图册_百度贴吧");
  for (size_t n = 0; n < 12; ++n) page += ChunkScript(n);
  page +=
      "</head><body>\n<div id=\"pagelet_frs-list/pagelet/album\" "
      "class=\"album_wrapper\"></div>\n"
      "<code class=\"pagelet_html\" id=\"pagelet_html_frs-list/pagelet/album\" "
      "style=\"display:none;\"><!--\n<ul class=\"album_list\">";
  for (const Thread* album : index.albums()) {
    const std::string count = std::to_string(album->pictures.size());
    const std::string name = HtmlEscape(album->title);
    page += "\n<li class=\"album_item\" data-amount=\"" + count + "\"><a href=\"/p/" +
            HtmlEscape(album->tid) + "\" title=\"" + name +
            "\" target=\"_blank\"><span class=\"album_name\">" + name +
            "</span><span class=\"album_amount\">" + count + "张</span></a></li>";
  }
  page += index.albums().empty() ? "</ul>" : "\n</ul>";
  page +=
      "\n--></code>\n<script>Bigpipe.register(\"frs-list/pagelet/album\", "
      "{\"parent\":\"frs-list\"});</script>\n</body></html>\n";
  return Utf8Html(std::move(page));
}

Answer ShareAnswer(const DataSet& data, std::string_view fname) {
  Answer answer;
  answer.content_type = "application/json; charset=UTF-8";
  const uint64_t fid = KeywordNamesBoard(fname, data.board) ? ForumId(data) : 0;
  answer.body = "{\"no\":0,\"error\":\"\",\"data\":{\"fid\":" + std::to_string(fid) +
                ",\"can_send_pics\":1}}";
  return answer;
}

}  // namespace standin
