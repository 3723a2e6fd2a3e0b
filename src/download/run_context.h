// What every step of a download run shares on the worker: the snapshot it
// works from, the gate it passes at its safe points, the tally, where its
// events go, the service's waits, and the run's one refusal rule (after the
// run's first lasting refusal, later ones are given up at once).
//
// Thread safety: belongs to the download worker.
#ifndef TIEPIC_DOWNLOAD_RUN_CONTEXT_H_
#define TIEPIC_DOWNLOAD_RUN_CONTEXT_H_

#include <cstdint>

#include "download/run_events.h"
#include "download/run_gate.h"
#include "download/run_snapshot.h"
#include "download/run_tally.h"
#include "web/refusal.h"

namespace download {

// The waits the service asks of its clients. Tests may shorten them.
struct DownloadPauses {
  int empty_page_retry_ms = 2000;     // after each empty picture-list answer
  int after_list_picture_ms = -1;     // after each picture of the page-numbered list;
                                      // negative: the service profile's wait
  int refusal_first_wait_ms = 10000;  // before asking again after a refusal, then doubled
};

class RunContext {
 public:
  RunContext(const RunSnapshot& snapshot, RunGate& gate, RunTally& tally, RunEvents events,
             DownloadPauses pauses)
      : snapshot(snapshot),
        gate(gate),
        tally(tally),
        pauses(pauses),
        events_(std::move(events)),
        refusals_({.first_wait_ms = pauses.refusal_first_wait_ms},
                  [this](const rt::Text& line) { Emit(RefusalWait{line}); },
                  [&gate](int64_t ms) { gate.Wait(ms); }) {}
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  void Emit(RunEvent event) { events_(std::move(event)); }
  // The run's refusal retry: its waits are safe points of the gate.
  web::RefusalRetry& refusals() { return refusals_; }

  const RunSnapshot& snapshot;
  RunGate& gate;
  RunTally& tally;
  const DownloadPauses pauses;
  // Set while an album's first page is asked of an interface that others
  // follow in the profile's order: a refusal is asked once and not counted,
  // as the next interface is asked instead.
  bool first_of_several = false;

 private:
  const RunEvents events_;
  web::RefusalRetry refusals_;
};

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_RUN_CONTEXT_H_
