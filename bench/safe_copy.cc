// safe-copy: the floor the tool is measured against.
//
//   safe-copy SOURCE TARGET
//
// Copies SOURCE to TARGET the safe way, as the tool replaces its outputs: in 64 KiB chunks into
// a temporary file beside TARGET, synced to disk, then renamed over an earlier TARGET.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: safe-copy SOURCE TARGET\n");
    return 2;
  }
  const std::string temp = std::string(argv[2]) + ".tmp";
  int in = ::open(argv[1], O_RDONLY);
  int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (in < 0 || out < 0) {
    std::perror("safe-copy");
    return 1;
  }
  static char buf[64 * 1024];
  ssize_t n;
  while ((n = ::read(in, buf, sizeof buf)) > 0) {
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0) {
        std::perror("safe-copy");
        return 1;
      }
      done += w;
    }
  }
  if (n < 0 || ::fsync(out) != 0 || ::close(out) != 0 || ::rename(temp.c_str(), argv[2]) != 0) {
    std::perror("safe-copy");
    return 1;
  }
  ::close(in);
  return 0;
}
