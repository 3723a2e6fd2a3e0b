// Requests and readings of the interfaces the service answers by today.
#include "discovery/newer_interfaces.h"

#include "json/json_value.h"
#include "platform/codepage.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "web/form_fields.h"
#include "web/request_helpers.h"

namespace discovery {
namespace {

// Returns true iff `bytes` is UTF-8 (with `wide_only`: and every character
// beyond ASCII takes three or four bytes, as Chinese does, where a GBK pair
// read as UTF-8 takes two).
bool IsUtf8(std::string_view bytes, bool wide_only = false) {
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const int follow = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (follow < 0 || i + follow >= bytes.size() || (wide_only && follow == 1)) return false;
    for (int k = 1; k <= follow; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 2) return false;
    }
    i += follow + 1;
  }
  return true;
}

// Returns true iff the picpage answer `json_text` says to wait before
// asking again (its error code is the profile's rate limit).
bool IsRateLimited(const shell::ServiceProfile& profile, std::string_view json_text) {
  json::JsonHandle json;
  return json::JsonParse(json, json_text) &&
         rt::ToInteger(json::JsonPathText(json, profile.picpage_error)) == profile.picpage_rate_limit;
}

}  // namespace

rt::Text PicpageBody(const shell::ServiceProfile& profile, const PicpageWindow& window) {
  web::FormFields fields;
  if (!window.forum_id.empty() && window.forum_id != "0")
    fields.emplace_back("forum_id", window.forum_id);
  if (!window.board_name.empty()) fields.emplace_back("kw", rt::ToUtf8(window.board_name));
  fields.emplace_back("tid", window.tid);
  fields.emplace_back("pic_id", window.cursor);
  if (window.cursor_index > 0) fields.emplace_back("pic_index", std::to_string(window.cursor_index));
  fields.emplace_back("next", std::to_string(profile.picpage_next));
  // 1 asks for every poster's pictures.
  fields.emplace_back("not_see_lz", window.every_poster ? "1" : "0");
  for (const auto& [name, value] : web::QueryFields(profile.picpage_fields)) {
    fields.emplace_back(name, web::PercentDecode(value));
  }
  return web::SignedFormBody(fields, profile.picpage_sign_key);
}

rt::Text AskPicpage(const shell::ServiceProfile& profile, std::string_view client_address,
                    const PicpageWindow& window, const web::RequestOptions& options) {
  web::RequestOptions post = options;
  post.agent = profile.agent_current;
  post.method = 1;
  post.form_data = PicpageBody(profile, window);
  rt::Text text = rt::FromUtf8(
      web::BodyText(web::InetRequest(rt::Text(client_address) + profile.picpage_path, post)));
  // The service's "wait before asking again" is a refusal to its callers.
  if (options.status && IsRateLimited(profile, text)) *options.status = 429;
  return text;
}

rt::Text AskForumId(const shell::ServiceProfile& profile, std::string_view scheme_host,
                    std::string_view board_name) {
  const rt::Text address = shell::JoinQuery(
      rt::Text(scheme_host) + profile.share_path,
      shell::FillIn(profile.share_query, {{"board", web::PercentEncode(rt::ToUtf8(board_name))}}));
  web::RequestOptions options;
  options.agent = profile.agent_current;
  json::JsonHandle json;
  if (!json::JsonParse(json, rt::FromUtf8(web::BodyText(web::InetRequest(address, options)))))
    return {};
  const rt::Text fid = json::JsonPathText(json, profile.share_fid);
  return fid == "null" ? rt::Text() : fid;
}

rt::Text BoardNameOf(std::string_view board_address) {
  const std::string name = web::PercentDecode(web::QueryValue(board_address, "kw"));
  // The address's own ie= says how its kw is written. Without it the
  // service's pages write GBK, a browser UTF-8; as many GBK names are valid
  // UTF-8 too, only Chinese as UTF-8 writes it (three bytes a character)
  // is taken for UTF-8 then.
  const bool utf8 = rt::ToLowerCase(web::QueryValue(board_address, "ie")) == "utf-8";
  return IsUtf8(name, !utf8) ? rt::FromUtf8(name) : rt::Text(name);
}

rt::Text BoardAddressOf(std::string_view host, std::string_view board_name) {
  return rt::Text(host) + "/f?kw=" + web::PercentEncode(rt::ToUtf8(board_name)) + "&ie=utf-8";
}

bool NoBoardAlbum(std::string_view json_text, std::string_view member) {
  return shell::MemberIsNull(json_text, member) || shell::MemberWrites(json_text, member, "false");
}

}  // namespace discovery
