// Starting the built executable from tests, with its standard streams captured.

#ifndef STATICS_CLEAN_TESTS_SUPPORT_PROCESS_H_
#define STATICS_CLEAN_TESTS_SUPPORT_PROCESS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace statics_clean {

struct ExeRun {
  int exitStatus = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

struct ExeOptions {
  std::vector<std::string> args;
  std::string stdinText;       // written to its standard input, which is then closed
  uint64_t fileSizeLimit = 0;  // RLIMIT_FSIZE with SIGXFSZ ignored, where the platform has it
};

// Runs exe in folder dir and waits for it.
ExeRun runExe(const std::string& exe, const std::string& dir, const ExeOptions& options = {});

// True where the platform can limit the size of the files a process writes.
bool canLimitFileSize();

// A process left running. Its standard output is a pipe that is read only by finish(), so that
// the process stops at a known point once the pipe is full; its standard input is a pipe that
// stays open until finish().
class RunningExe {
 public:
  RunningExe(const std::string& exe, const std::string& dir);
  ~RunningExe();
#ifndef _WIN32
  void signal(int sig);
#endif
  // Ends the process at once, as a crash or a kill would; finish() then reports exit status -1.
  void terminate();
  // Reads standard output until the process closes it, then waits for it.
  ExeRun finish();
  bool exited();  // without waiting
  void sendStdin(const std::string& text);

 private:
  std::string errPath_;
#ifdef _WIN32
  void* process_ = nullptr;
  void* stdin_ = nullptr;
  void* stdout_ = nullptr;
  bool terminated_ = false;
#else
  int pid_ = -1;
  int status_ = 0;
  bool reaped_ = false;
  int stdinFd_ = -1;
  int stdoutFd_ = -1;
#endif
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// A new empty folder, removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // The names of the files in the folder, sorted.
  std::vector<std::string> names() const;

 private:
  std::string path_;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_TESTS_SUPPORT_PROCESS_H_
