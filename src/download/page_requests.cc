// Page requests with the service's retries and waits.
#include "download/page_requests.h"

#include "runtime/gbk.h"
#include "web/request_helpers.h"

namespace download {

using rt::operator""_gbk;

rt::Bytes FetchRefusable(RunContext& run, std::string_view what,
                         const web::RefusalRetry::Try& request, bool* refused) {
  bool persisted = false;
  rt::Bytes body = run.refusals().Fetch(what, request, &persisted, run.first_of_several);
  // A refusal of an interface another one stands in for is no lasting one.
  if (persisted && !run.first_of_several) run.tally.refused.fetch_add(1);
  if (refused) *refused = persisted;
  return body;
}

rt::Text FetchListPage(RunContext& run, const rt::Text& address, PageRequest request) {
  constexpr int kAttempts = 10;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    bool refused = false;
    int status = 0;
    rt::Text page = web::BodyText(FetchRefusable(
        run, "图片列表页"_gbk,
        [&](const web::RequestOptions& options) {
          rt::Bytes body = request(address, options);
          if (options.status) status = *options.status;
          if (status == 0 && options.returned_headers) {
            status = web::StatusOfHeaders(*options.returned_headers);
          }
          return body;
        },
        &refused));
    if (refused) return {};
    // The service's own trouble (a 5xx) is asked again like an empty answer.
    if (!page.empty() && status < 500) return page;
    run.gate.Wait(run.pauses.empty_page_retry_ms);
  }
  return {};
}

bool ReadListPage(std::string_view text, const std::string& pictures, json::JsonHandle* page) {
  if (!json::JsonParse(*page, text) || page->kind() != json::JsonKind::kObject) return false;
  const json::JsonHandle list = json::JsonGetPath(*page, pictures);
  return !list.empty() && list.kind() != json::JsonKind::kNull;
}

}  // namespace download
