// Benchmarks that compare a program with its floor pin themselves to one CPU,
// so that both sides share the same core and the other one's load does not
// favour either.
#ifndef TIEPIC_BENCH_PIN_CPU_H_
#define TIEPIC_BENCH_PIN_CPU_H_

#include <sched.h>

// Pins the process to the last CPU it may use; returns that CPU or -1. Call
// it before any thread exists, so that all inherit it.
inline int PinToOneCpu() {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return -1;
  for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0 ? cpu : -1;
  }
  return -1;
}

#endif  // TIEPIC_BENCH_PIN_CPU_H_
