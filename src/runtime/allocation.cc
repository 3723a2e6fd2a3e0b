// The failed-allocation report.
#include "runtime/allocation.h"

#include <string>

#include "runtime/fatal.h"
#include "runtime/gbk.h"

namespace rt {

Text AllocationFailureMessage(size_t size) {
  return "分配 "_gbk + std::to_string(size) + " 字节内存失败!"_gbk;
}

void AllocationFailed(size_t size) { FatalError(AllocationFailureMessage(size)); }

}  // namespace rt
