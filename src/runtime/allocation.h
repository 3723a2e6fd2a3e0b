// The fatal report of a failed allocation. The desktop program routes every
// failed `new` here, so running out of memory ends with the runtime's report
// instead of an unexplained abort.
#ifndef TIEPIC_RUNTIME_ALLOCATION_H_
#define TIEPIC_RUNTIME_ALLOCATION_H_

#include <cstddef>

#include "runtime/value.h"

namespace rt {

// "分配 <size> 字节内存失败!" (GBK).
Text AllocationFailureMessage(size_t size);

[[noreturn]] void AllocationFailed(size_t size);

}  // namespace rt

#endif  // TIEPIC_RUNTIME_ALLOCATION_H_
