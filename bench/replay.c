// The minimal writer bench/runs.sh sets against korvane: the same write calls, each an "OFFSET LENGTH" line on
// standard input, made with pwrite into FILE in place and nothing else (no reads, no checks, no flush).
//
//   replay FILE < PATTERN
#define _FILE_OFFSET_BITS 64
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: replay FILE < PATTERN\n");
    return 2;
  }
  static long long offsets[65536], lengths[65536];
  long long longest = 0;
  size_t count = 0;
  while (count < 65536 && scanf("%lld %lld", &offsets[count], &lengths[count]) == 2) {
    if (lengths[count] > longest) longest = lengths[count];
    ++count;
  }
  char* bytes = malloc(longest > 0 ? (size_t)longest : 1);
  int fd = open(argv[1], O_WRONLY);
  if (!bytes || fd < 0) {
    perror(argv[1]);
    return 1;
  }
  memset(bytes, 0xE5, (size_t)longest);
  for (size_t i = 0; i < count; ++i)
    if (pwrite(fd, bytes, (size_t)lengths[i], offsets[i]) != lengths[i]) {
      perror(argv[1]);
      return 1;
    }
  return close(fd) == 0 ? 0 : 1;
}
