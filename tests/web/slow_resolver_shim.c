/* A getaddrinfo that takes its time, preloaded into the slow-lookup tests.
 * A host name ending in ".slow.invalid" is looked up for as many
 * milliseconds as the number it begins with (8000 without one) and then
 * answers as 127.0.0.1; every other name goes straight to the real function.
 * Built without sanitizers: it is loaded ahead of their run time. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

typedef int (*GetAddrInfoFn)(const char*, const char*, const struct addrinfo*,
                             struct addrinfo**);

static const char kSuffix[] = ".slow.invalid";

/* Marks the shim as loaded, for the tests to check. */
int tiepic_slow_resolver_shim_loaded = 1;

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                struct addrinfo** result) {
  GetAddrInfoFn real = (GetAddrInfoFn)dlsym(RTLD_NEXT, "getaddrinfo");
  if (real == NULL) return EAI_SYSTEM;
  size_t length = node ? strlen(node) : 0;
  size_t suffix = sizeof kSuffix - 1;
  if (length > suffix && strcasecmp(node + length - suffix, kSuffix) == 0) {
    char* end = NULL;
    long ms = strtol(node, &end, 10);
    if (end == node || ms < 0) ms = 8000;
    struct timespec left = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    node = "127.0.0.1";
  }
  return real(node, service, hints, result);
}
