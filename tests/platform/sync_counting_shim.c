/* An fsync and an fdatasync that write down what they flush, preloaded into
 * the durable-write tests: each call notes the path its descriptor names at
 * that moment (from /proc/self/fd) and then goes to the real function. The
 * tests read the notes through the functions below, found with dlsym.
 * Built without sanitizers: it is loaded ahead of their run time. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

typedef int (*SyncFn)(int);

enum { kMaxNotes = 32 };

static pthread_mutex_t notes_mutex = PTHREAD_MUTEX_INITIALIZER;
static char notes[kMaxNotes][PATH_MAX];
static int note_count; /* calls since the last reset; may pass kMaxNotes */

static void Note(int fd) {
  char link[64];
  char path[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  path[n > 0 ? n : 0] = '\0';
  pthread_mutex_lock(&notes_mutex);
  if (note_count < kMaxNotes) memcpy(notes[note_count], path, (size_t)(n > 0 ? n : 0) + 1);
  ++note_count;
  pthread_mutex_unlock(&notes_mutex);
}

static int CallReal(const char* name, int fd) {
  SyncFn real = (SyncFn)dlsym(RTLD_NEXT, name);
  if (real == NULL) {
    errno = ENOSYS;
    return -1;
  }
  return real(fd);
}

int fsync(int fd) {
  Note(fd);
  return CallReal("fsync", fd);
}

int fdatasync(int fd) {
  Note(fd);
  return CallReal("fdatasync", fd);
}

/* The number of flushes since the last reset. */
int tiepic_sync_shim_count(void) {
  pthread_mutex_lock(&notes_mutex);
  int count = note_count;
  pthread_mutex_unlock(&notes_mutex);
  return count;
}

/* Copies the path of flush `i` (from 0) into `out`; "" beyond the notes. */
void tiepic_sync_shim_path(int i, char* out, size_t size) {
  if (size == 0) return;
  pthread_mutex_lock(&notes_mutex);
  const char* path = i >= 0 && i < note_count && i < kMaxNotes ? notes[i] : "";
  snprintf(out, size, "%s", path);
  pthread_mutex_unlock(&notes_mutex);
}

void tiepic_sync_shim_reset(void) {
  pthread_mutex_lock(&notes_mutex);
  note_count = 0;
  pthread_mutex_unlock(&notes_mutex);
}
