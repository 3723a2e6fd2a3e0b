// The process-wide list of open databases and the number of the current
// one, shared by the operations' files.
#ifndef TIEPIC_RECORDDB_REGISTRY_H_
#define TIEPIC_RECORDDB_REGISTRY_H_

#include <memory>
#include <mutex>
#include <vector>

#include "recorddb/database.h"

namespace recorddb {

struct Registry {
  std::mutex mutex;
  std::vector<std::unique_ptr<Database>> open;  // in opening order
  int current = -1;

  // REQUIRES: mutex held.
  Database* Current() {
    return current >= 0 && current < static_cast<int>(open.size()) ? open[current].get()
                                                                    : nullptr;
  }
};

Registry& TheRegistry();

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_REGISTRY_H_
