/* Times a command from just before it is started to a point of its run, for scripts/bench.sh:
 *
 *   startup_timer RUNS exit COMMAND...         until the command exits
 *   startup_timer RUNS file PATH COMMAND...    until PATH is closed after writing (or renamed into
 *                                              place); the command is then ended with SIGTERM
 *
 * Runs the command RUNS times after two warm-up runs and prints "median_us MIN_US" style figures:
 * "<median microseconds> <minimum microseconds>". The program watched gets no switch of its own;
 * the file is watched with inotify from outside. */
#define _GNU_SOURCE
#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static long long NowUs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}

static void Fail(const char* what) {
  fprintf(stderr, "startup_timer: %s: %s\n", what, strerror(errno));
  exit(2);
}

/* Waits until `name` in the watched folder is closed after writing or moved in; 0 on time-out. */
static int WaitForFile(int watch_fd, const char* name, int timeout_ms) {
  const long long deadline = NowUs() + (long long)timeout_ms * 1000;
  char events[sizeof(struct inotify_event) + NAME_MAX + 1] __attribute__((aligned(8)));
  for (;;) {
    const long long left_ms = (deadline - NowUs()) / 1000;
    if (left_ms <= 0) return 0;
    struct pollfd ready = {watch_fd, POLLIN, 0};
    if (poll(&ready, 1, (int)left_ms) <= 0) continue;
    const ssize_t length = read(watch_fd, events, sizeof events);
    if (length <= 0) continue;
    for (char* at = events; at < events + length;) {
      const struct inotify_event* event = (const struct inotify_event*)at;
      if (event->len && strcmp(event->name, name) == 0) return 1;
      at += sizeof *event + event->len;
    }
  }
}

/* Drops the events of earlier runs. */
static void Drain(int watch_fd) {
  char events[4096] __attribute__((aligned(8)));
  struct pollfd ready = {watch_fd, POLLIN, 0};
  while (poll(&ready, 1, 0) > 0 && read(watch_fd, events, sizeof events) > 0) {
  }
}

static long long RunOnce(char** command, int watch_fd, const char* name) {
  pid_t child;
  if (watch_fd >= 0) Drain(watch_fd);
  const long long start = NowUs();
  if (posix_spawnp(&child, command[0], NULL, NULL, command, environ) != 0) Fail(command[0]);
  if (watch_fd >= 0) {
    if (!WaitForFile(watch_fd, name, 20000)) {
      fprintf(stderr, "startup_timer: %s was not written\n", name);
      kill(child, SIGKILL);
      exit(2);
    }
    const long long end = NowUs();
    kill(child, SIGTERM);
    waitpid(child, NULL, 0);
    return end - start;
  }
  int status;
  if (waitpid(child, &status, 0) < 0) Fail("waitpid");
  const long long end = NowUs();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "startup_timer: %s failed\n", command[0]);
    exit(2);
  }
  return end - start;
}

static int Compare(const void* a, const void* b) {
  const long long x = *(const long long*)a, y = *(const long long*)b;
  return (x > y) - (x < y);
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: startup_timer RUNS exit|file [PATH] COMMAND...\n");
    return 2;
  }
  const int runs = atoi(argv[1]);
  int watch_fd = -1;
  const char* name = NULL;
  char** command = argv + 3;
  if (strcmp(argv[2], "file") == 0) {
    char* path = argv[3];
    command = argv + 4;
    char* slash = strrchr(path, '/');
    if (!slash) return 2;
    name = slash + 1;
    *slash = '\0';
    watch_fd = inotify_init1(IN_CLOEXEC);
    if (watch_fd < 0) Fail("inotify");
    if (inotify_add_watch(watch_fd, path, IN_CLOSE_WRITE | IN_MOVED_TO) < 0) Fail(path);
  }
  if (runs < 1 || !command[0]) return 2;
  long long* times = calloc((size_t)runs, sizeof *times);
  for (int i = 0; i < 2; ++i) RunOnce(command, watch_fd, name);
  for (int i = 0; i < runs; ++i) {
    times[i] = RunOnce(command, watch_fd, name);
    /* Let the ended process's exit settle before the next start. */
    usleep(2000);
  }
  qsort(times, (size_t)runs, sizeof *times, Compare);
  printf("%lld %lld\n", times[runs / 2], times[0]);
  return 0;
}
