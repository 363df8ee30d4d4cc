/* Wall time of whole process runs, several commands measured side by side.
 *
 *   runs ROUNDS WARMUP NAME -- CMD [ARG...] ; NAME -- CMD [ARG...] ; ...
 *
 * Each round runs every command once, in turn, so that a slow phase of the
 * machine hits all of them alike. Standard input is /dev/null and standard
 * output is discarded. Prints one line per command: its name, the median
 * and the lowest wall time in milliseconds, and the number of runs that
 * failed (a non-zero exit or a signal). Exits non-zero when any run failed. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

enum { kMaxCommands = 16 };

struct Command {
  const char* name;
  char** argv;
  double* times;
  int failures;
};

static double Now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

/* Runs the command once and returns its wall time in seconds, or -1. */
static double RunOnce(char** argv, posix_spawn_file_actions_t* actions) {
  double start = Now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], actions, NULL, argv, environ) != 0) return -1;
  int status;
  if (waitpid(pid, &status, 0) != pid) return -1;
  double elapsed = Now() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

static int CompareDoubles(const void* a, const void* b) {
  double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: runs ROUNDS WARMUP NAME -- CMD [ARG...] [; NAME -- CMD ...]\n");
    return 2;
  }
  int rounds = atoi(argv[1]);
  int warmup = atoi(argv[2]);
  if (rounds < 1 || warmup < 0) return 2;

  struct Command commands[kMaxCommands];
  int count = 0;
  for (int i = 3; i < argc;) {
    if (count == kMaxCommands || i + 2 >= argc || strcmp(argv[i + 1], "--") != 0) {
      fprintf(stderr, "runs: expected NAME -- CMD at argument %d\n", i);
      return 2;
    }
    struct Command* c = &commands[count++];
    c->name = argv[i];
    c->argv = &argv[i + 2];
    c->failures = 0;
    c->times = calloc((size_t)rounds, sizeof(double));
    if (!c->times) return 2;
    int j = i + 2;
    while (j < argc && strcmp(argv[j], ";") != 0) ++j;
    if (j < argc) argv[j] = NULL; /* ends this command's argument list */
    i = j + 1;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

  for (int w = 0; w < warmup; ++w) {
    for (int k = 0; k < count; ++k) RunOnce(commands[k].argv, &actions);
  }
  for (int r = 0; r < rounds; ++r) {
    for (int n = 0; n < count; ++n) {
      struct Command* c = &commands[(n + r) % count]; /* a different one goes first each round */
      double t = RunOnce(c->argv, &actions);
      if (t < 0) ++c->failures;
      c->times[r] = t < 0 ? 0 : t;
    }
  }

  int failed = 0;
  for (int k = 0; k < count; ++k) {
    struct Command* c = &commands[k];
    qsort(c->times, (size_t)rounds, sizeof(double), CompareDoubles);
    double median = rounds % 2 ? c->times[rounds / 2]
                               : (c->times[rounds / 2 - 1] + c->times[rounds / 2]) / 2;
    printf("%s %.3f %.3f %d\n", c->name, median * 1e3, c->times[0] * 1e3, c->failures);
    if (c->failures) failed = 1;
    free(c->times);
  }
  posix_spawn_file_actions_destroy(&actions);
  return failed;
}
