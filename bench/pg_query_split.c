/* Times libpg_query's scanner-based statement splitting of one script file,
 * for the comparison with kxsql. Only pg_query_split_with_scanner is timed;
 * reading the file is not. Times are the process's CPU time, which other work
 * on a shared machine hardly disturbs.
 *
 *   pg_query_split --repeat 5 pg.sql
 *   -> pg_query mbps=123.4 statements=81234 seconds=0.1621 bytes=20971520
 *
 * Statements are counted as the library returns them. */
#define _POSIX_C_SOURCE 200809L  /* clock_gettime */

#include <pg_query.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int usage(void) {
  fprintf(stderr, "usage: pg_query_split [--repeat N] FILE\n");
  return 2;
}

static double cpu_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static int compare_doubles(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}

static char* read_file(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  size_t cap = 1 << 20, n = 0, got;
  char* buf = malloc(cap + 1);
  while (buf && (got = fread(buf + n, 1, cap - n, f)) > 0) {
    n += got;
    if (n == cap) {
      char* bigger = realloc(buf, 2 * cap + 1);
      if (!bigger) {
        free(buf);
        buf = NULL;
        break;
      }
      buf = bigger;
      cap *= 2;
    }
  }
  if (buf && ferror(f)) {
    free(buf);
    buf = NULL;
  }
  fclose(f);
  if (buf) {
    buf[n] = 0;
    *size = n;
  }
  return buf;
}

int main(int argc, char** argv) {
  int repeat = 5;
  const char* path = NULL;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = atoi(argv[++i]);
      if (repeat < 1) repeat = 1;
    } else if (argv[i][0] == '-' || path) {
      return usage();
    } else {
      path = argv[i];
    }
  }
  if (!path) return usage();

  size_t size = 0;
  char* sql = read_file(path, &size);
  if (!sql) {
    perror(path);
    return 1;
  }
  pg_query_init();

  double* times = malloc(sizeof(double) * (size_t)repeat);
  int statements = 0;
  for (int r = 0; r < repeat; ++r) {
    const double start = cpu_seconds();
    PgQuerySplitResult result = pg_query_split_with_scanner(sql);
    times[r] = cpu_seconds() - start;
    if (result.error) {
      fprintf(stderr, "pg_query_split: %s at %d\n", result.error->message, result.error->cursorpos);
      pg_query_free_split_result(result);
      return 1;
    }
    statements = result.n_stmts;
    pg_query_free_split_result(result);
  }
  qsort(times, (size_t)repeat, sizeof(double), compare_doubles);
  const double median = repeat % 2 ? times[repeat / 2] : (times[repeat / 2 - 1] + times[repeat / 2]) / 2;
  printf("pg_query mbps=%.1f statements=%d seconds=%.4f bytes=%zu\n", (double)size / (1 << 20) / median,
         statements, median, size);
  free(times);
  free(sql);
  return 0;
}
