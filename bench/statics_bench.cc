// statics-bench: times statics-clean against a safe copy of the same data file.
//
//   statics-bench TOOL SAFE_COPY FOLDER [RUNS]
//
// FOLDER holds a pair and the lists written by make-pair. After one warm-up round, each of RUNS
// rounds (default 7) runs, for each list in turn, the tool with that list as todelete.txt and
// then the safe copy, so that every measurement is next to its baseline in time. Prints, per list,
// the median wall times, the median of the per-round ratios tool/baseline, and the tool's largest
// peak resident memory (from wait4), beside the memory bound: index + largest block + 8 MiB; and
// the median per-round ratio of the tool's time with the 65,536-ID list to that with the 1-ID list.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "statics/static_format.h"

namespace {

struct Measure {
  double seconds;
  long peakKiB;
};

Measure run(const std::vector<std::string>& argv, const std::string& dir) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    ::dup2(devnull, 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage;
  ::wait4(pid, &status, 0, &usage);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "statics-bench: %s failed\n", argv[0].c_str());
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: statics-bench TOOL SAFE_COPY FOLDER [RUNS]\n");
    return 2;
  }
  const std::string tool = argv[1], copy = argv[2], dir = argv[3];
  const int runs = argc > 4 ? std::atoi(argv[4]) : 7;

  // The memory bound of the tool on this pair.
  const std::string index = slurp(dir + "/staidx0.mul");
  uint64_t largest = 0;
  for (size_t i = 0; i + 12 <= index.size(); i += 12) {
    auto e = statics_clean::decodeIndexEntry(reinterpret_cast<const unsigned char*>(&index[i]));
    if (!statics_clean::isEmptyEntry(e)) largest = std::max<uint64_t>(largest, e.length);
  }
  struct stat st;
  ::stat((dir + "/statics0.mul").c_str(), &st);
  const double boundMiB = (index.size() + largest) / 1048576.0 + 8;
  std::printf("pair: %zu entries (%.1f MiB index), %.1f MiB data, largest block %llu bytes; "
              "%d runs each after a warm-up\n",
              index.size() / 12, index.size() / 1048576.0, st.st_size / 1048576.0,
              static_cast<unsigned long long>(largest), runs);
  std::printf("| list | tool median (s) | safe copy median (s) | median ratio | tool peak RSS (MiB) "
              "| bound (MiB) |\n|---:|---:|---:|---:|---:|---:|\n");

  const std::vector<std::string> lists{"1", "100", "10000", "65536"};
  std::vector<std::string> texts;
  for (const std::string& list : lists) texts.push_back(slurp(dir + "/list-" + list + ".txt"));
  const std::vector<std::string> toolArgs{tool};
  const std::vector<std::string> copyArgs{copy, "statics0.mul", "copy_of_statics0.mul"};
  std::vector<std::vector<double>> toolTimes(lists.size()), copyTimes(lists.size()),
      ratios(lists.size());
  std::vector<long> peak(lists.size(), 0);
  for (int round = -1; round < runs; ++round) {  // round -1 is the warm-up
    for (size_t l = 0; l < lists.size(); ++l) {
      std::ofstream(dir + "/todelete.txt", std::ios::binary) << texts[l];
      Measure t = run(toolArgs, dir);
      Measure c = run(copyArgs, dir);
      if (round < 0) continue;
      toolTimes[l].push_back(t.seconds);
      copyTimes[l].push_back(c.seconds);
      ratios[l].push_back(t.seconds / c.seconds);
      peak[l] = std::max(peak[l], t.peakKiB);
    }
  }
  for (size_t l = 0; l < lists.size(); ++l) {
    std::printf("| %s | %.3f | %.3f | %.2f | %.1f | %.1f |\n", lists[l].c_str(),
                median(toolTimes[l]), median(copyTimes[l]), median(ratios[l]), peak[l] / 1024.0,
                boundMiB);
  }
  std::vector<double> longOverShort;
  for (int r = 0; r < runs; ++r) longOverShort.push_back(toolTimes[3][r] / toolTimes[0][r]);
  std::printf("\ntool with the 65536-ID list / with the 1-ID list, same round: median %.2f\n",
              median(longOverShort));
  return 0;
}
