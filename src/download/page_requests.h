// Requests of a download run for the service's pages: asked again while the
// service refuses them, and picture-list pages also while they come back
// empty, with the service's waits; every wait is a safe point of the run.
//
// Thread safety: download worker only.
#ifndef TIEPIC_DOWNLOAD_PAGE_REQUESTS_H_
#define TIEPIC_DOWNLOAD_PAGE_REQUESTS_H_

#include <functional>
#include <string>
#include <string_view>

#include "download/run_context.h"
#include "json/json_value.h"
#include "web/refusal.h"
#include "web/requests.h"

namespace download {

// One answer through `request`, asked for again while the service refuses
// it (web/refusal.h), each refusal a RefusalWait event. Returns empty with
// *refused set (when given) once the refusal has persisted, which the tally
// counts.
rt::Bytes FetchRefusable(RunContext& run, std::string_view what,
                         const web::RefusalRetry::Try& request, bool* refused = nullptr);

// One picture-list answer through `request`, asked up to ten times while it
// comes back empty or with a status of 500 or above, with the service's wait
// after each such one; a page still without an answer then is empty. A refusal
// that persists ends the page at once (empty), without the ten rounds.
using PageRequest = std::function<rt::Bytes(std::string_view, const web::RequestOptions&)>;
rt::Text FetchListPage(RunContext& run, const rt::Text& address, PageRequest request);

// Returns true iff `text` holds a picture list: a JSON object (parsed into
// `page`) with a member at `pictures` (a profile's member path, such as
// "data.pic_list"). The lenient reader takes "<...>" for binary data: an
// HTML error page parses, but only such an object is a picture list; an
// error object of the service is none either.
bool ReadListPage(std::string_view text, const std::string& pictures, json::JsonHandle* page);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_PAGE_REQUESTS_H_
