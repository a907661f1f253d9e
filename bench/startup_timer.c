/* Times commands from just before each is started to a point of its run, for scripts/bench.sh:
 *
 *   startup_timer [-l LOG] RUNS TARGET [-- TARGET]...
 *
 * where a TARGET is one of
 *
 *   exit COMMAND...         until the command exits
 *   file PATH COMMAND...    until PATH is closed after writing (or renamed into place); the
 *                           command is then ended with SIGKILL, so that its own end is not counted
 *
 * The commands run in turn, one start of each per round, RUNS rounds after two warm-up rounds:
 * whatever else loads the machine meets each of them alike. For each TARGET, in order, one line:
 * "<median wall us> <minimum wall us> <median CPU us>", CPU time being the user and system time
 * of the started process (and of the children it waited for). On a machine that others share,
 * the wall-clock figures follow the load; the CPU time much less. The commands' output goes to
 * LOG (appended), or else where this program's goes. The programs watched get no switch of their
 * own; a file is watched with inotify from outside. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

struct Target {
  char** command;
  int watch_fd; /* -1: until the command exits */
  const char* name;
  long long* wall_us;
  long long* cpu_us;
};

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

static long long CpuUs(const struct rusage* usage) {
  return (long long)(usage->ru_utime.tv_sec + usage->ru_stime.tv_sec) * 1000000 +
         usage->ru_utime.tv_usec + usage->ru_stime.tv_usec;
}

static void RunOnce(const struct Target* target, const posix_spawn_file_actions_t* output,
                    long long* wall_us, long long* cpu_us) {
  pid_t child;
  if (target->watch_fd >= 0) Drain(target->watch_fd);
  const long long start = NowUs();
  if (posix_spawnp(&child, target->command[0], output, NULL, target->command, environ) != 0) {
    Fail(target->command[0]);
  }
  long long end = 0;
  if (target->watch_fd >= 0) {
    if (!WaitForFile(target->watch_fd, target->name, 20000)) {
      fprintf(stderr, "startup_timer: %s was not written\n", target->name);
      kill(child, SIGKILL);
      exit(2);
    }
    end = NowUs();
    kill(child, SIGKILL);
  }
  int status;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) < 0) Fail("wait4");
  if (target->watch_fd < 0) {
    end = NowUs();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "startup_timer: %s failed\n", target->command[0]);
      exit(2);
    }
  }
  *wall_us = end - start;
  *cpu_us = CpuUs(&usage);
}

static int Compare(const void* a, const void* b) {
  const long long x = *(const long long*)a, y = *(const long long*)b;
  return (x > y) - (x < y);
}

/* Reads one TARGET from argv[*at], ending it at "--" (made NULL) or at the end. */
static int ParseTarget(char** argv, int argc, int* at, struct Target* target, int runs) {
  memset(target, 0, sizeof *target);
  target->watch_fd = -1;
  if (*at >= argc) return 0;
  if (strcmp(argv[*at], "file") == 0) {
    if (*at + 1 >= argc) return 0;
    char* path = argv[*at + 1];
    char* slash = strrchr(path, '/');
    if (!slash) return 0;
    target->name = slash + 1;
    *slash = '\0';
    target->watch_fd = inotify_init1(IN_CLOEXEC);
    if (target->watch_fd < 0) Fail("inotify");
    if (inotify_add_watch(target->watch_fd, path, IN_CLOSE_WRITE | IN_MOVED_TO) < 0) Fail(path);
    *at += 2;
  } else if (strcmp(argv[*at], "exit") == 0) {
    *at += 1;
  } else {
    return 0;
  }
  target->command = argv + *at;
  while (*at < argc && strcmp(argv[*at], "--") != 0) ++*at;
  if (*at < argc) argv[(*at)++] = NULL;
  if (!target->command[0]) return 0;
  target->wall_us = calloc((size_t)runs, sizeof(long long));
  target->cpu_us = calloc((size_t)runs, sizeof(long long));
  return 1;
}

int main(int argc, char** argv) {
  int at = 1;
  const char* log = NULL;
  if (at + 1 < argc && strcmp(argv[at], "-l") == 0) {
    log = argv[at + 1];
    at += 2;
  }
  if (at >= argc) {
    fprintf(stderr, "usage: startup_timer [-l LOG] RUNS exit|file [PATH] COMMAND... [-- ...]\n");
    return 2;
  }
  const int runs = atoi(argv[at++]);
  if (runs < 1) return 2;
  struct Target targets[8];
  int count = 0;
  while (at < argc && count < 8) {
    if (!ParseTarget(argv, argc, &at, &targets[count], runs)) {
      fprintf(stderr, "startup_timer: a command is missing or malformed\n");
      return 2;
    }
    ++count;
  }
  if (count == 0) return 2;
  posix_spawn_file_actions_t output_actions;
  posix_spawn_file_actions_t* output = NULL;
  if (log) {
    posix_spawn_file_actions_init(&output_actions);
    posix_spawn_file_actions_addopen(&output_actions, 1, log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&output_actions, 1, 2);
    output = &output_actions;
  }
  long long wall, cpu;
  for (int round = -2; round < runs; ++round) {
    for (int i = 0; i < count; ++i) {
      RunOnce(&targets[i], output, &wall, &cpu);
      if (round >= 0) {
        targets[i].wall_us[round] = wall;
        targets[i].cpu_us[round] = cpu;
      }
      /* Let the ended process's exit settle before the next start. */
      usleep(2000);
    }
  }
  for (int i = 0; i < count; ++i) {
    qsort(targets[i].wall_us, (size_t)runs, sizeof(long long), Compare);
    qsort(targets[i].cpu_us, (size_t)runs, sizeof(long long), Compare);
    printf("%lld %lld %lld\n", targets[i].wall_us[runs / 2], targets[i].wall_us[0],
           targets[i].cpu_us[runs / 2]);
  }
  return 0;
}
