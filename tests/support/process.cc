#include "support/process.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <thread>
#else
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace statics_clean {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() / ("statics-clean-test-" + std::to_string(rd()));
    if (fs::create_directory(p)) {
      path_ = p.generic_string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(path_)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

#ifndef _WIN32

namespace {

// STATICS_CLEAN_TEST_WRAPPER, when set, is a command (words split at spaces) that the executable
// is run under, such as "valgrind --error-exitcode=99 -q".
[[noreturn]] void execChild(const std::string& exe, const std::string& dir,
                            const std::vector<std::string>& args) {
  if (::chdir(dir.c_str()) != 0) ::_exit(126);
  ::umask(022);
  std::vector<std::string> words;
  if (const char* wrapper = std::getenv("STATICS_CLEAN_TEST_WRAPPER")) {
    std::istringstream in(wrapper);
    for (std::string w; in >> w;) words.push_back(w);
  }
  words.push_back(exe);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

int waitExit(int pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool canLimitFileSize() { return true; }

// Reads both pipes to their ends, whichever has something, so that neither fills up.
void drain(int outFd, int errFd, ExeRun* run) {
  struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&run->out, &run->err};
  int open = 2;
  char buf[65536];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

ExeRun runExe(const std::string& exe, const std::string& dir, const ExeOptions& options) {
  // Pipes, not files, for the output: a file-size limit must stop the tool's writes to its
  // output files, not to its console.
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("pipe");
  int pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    if (options.fileSizeLimit > 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = options.fileSizeLimit;
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    execChild(exe, dir, options.args);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::signal(SIGPIPE, SIG_IGN);  // a tool that exits without reading its input must not stop us
  if (!options.stdinText.empty()) {
    ssize_t w = ::write(in[1], options.stdinText.data(), options.stdinText.size());
    (void)w;
  }
  ::close(in[1]);
  ExeRun run;
  drain(out[0], err[0], &run);
  run.exitStatus = waitExit(pid);
  return run;
}

RunningExe::RunningExe(const std::string& exe, const std::string& dir) : errPath_(dir + ".err") {
  int in[2], out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) throw std::runtime_error("pipe");
  pid_ = ::fork();
  if (pid_ == 0) {
    int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err, 2);
    ::close(in[0]);
    ::close(in[1]);
    ::close(out[0]);
    ::close(out[1]);
    execChild(exe, dir, {});
  }
  ::close(in[0]);
  ::close(out[1]);
  stdinFd_ = in[1];
  stdoutFd_ = out[0];
}

RunningExe::~RunningExe() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    waitExit(pid_);
  }
  if (stdinFd_ >= 0) ::close(stdinFd_);
  if (stdoutFd_ >= 0) ::close(stdoutFd_);
  std::remove(errPath_.c_str());
}

void RunningExe::signal(int sig) { ::kill(pid_, sig); }

void RunningExe::terminate() { ::kill(pid_, SIGKILL); }

void RunningExe::sendStdin(const std::string& text) {
  ssize_t w = ::write(stdinFd_, text.data(), text.size());
  (void)w;
}

bool RunningExe::exited() {
  if (reaped_) return true;
  if (::waitpid(pid_, &status_, WNOHANG) != pid_) return false;
  reaped_ = true;
  return true;
}

ExeRun RunningExe::finish() {
  ExeRun run;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(stdoutFd_, buf, sizeof buf)) > 0) run.out.append(buf, static_cast<size_t>(n));
  ::close(stdinFd_);
  stdinFd_ = -1;
  if (!reaped_) {
    while (::waitpid(pid_, &status_, 0) < 0) {
    }
  }
  run.exitStatus = WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  pid_ = -1;
  run.err = readFile(errPath_);
  return run;
}

#else  // _WIN32

namespace {

std::wstring widen(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

// A path the build gave in Unix form (the tests run under Wine) names drive Z:, Wine's root.
std::string windowsPath(const std::string& path) {
  return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

std::string quoted(const std::string& arg) {
  std::string out = "\"";
  for (char c : arg) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

void readAll(HANDLE h, std::string* sink) {
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) sink->append(buf, n);
  CloseHandle(h);
}

// The console streams of a Windows program are in text mode: its "\n" arrives as "\r\n".
std::string consoleText(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i];
  }
  return out;
}

// Starts exe in dir with the given standard handles, which it inherits; returns its process
// handle.
HANDLE startProcess(const std::string& exe, const std::string& dir,
                    const std::vector<std::string>& args, HANDLE in, HANDLE out, HANDLE err) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::string command = quoted(windowsPath(exe));
  for (const std::string& a : args) command += " " + quoted(a);
  std::wstring commandLine = widen(command);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                      widen(windowsPath(dir)).c_str(), &startup, &process)) {
    throw std::runtime_error("CreateProcessW: " + std::to_string(GetLastError()));
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

// A pipe whose end on our side is not inherited by the process started.
void makePipe(HANDLE* read, HANDLE* write, bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreatePipe(read, write, &inherit, 0)) throw std::runtime_error("CreatePipe");
  SetHandleInformation(childReads ? *write : *read, HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

bool canLimitFileSize() { return false; }

ExeRun runExe(const std::string& exe, const std::string& dir, const ExeOptions& options) {
  HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
  makePipe(&inRead, &inWrite, true);
  makePipe(&outRead, &outWrite, false);
  makePipe(&errRead, &errWrite, false);
  HANDLE process = startProcess(exe, dir, options.args, inRead, outWrite, errWrite);
  CloseHandle(inRead);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  ExeRun run;
  std::thread outReader(readAll, outRead, &run.out);
  std::thread errReader(readAll, errRead, &run.err);
  DWORD written = 0;
  if (!options.stdinText.empty()) {
    WriteFile(inWrite, options.stdinText.data(), static_cast<DWORD>(options.stdinText.size()),
              &written, nullptr);
  }
  CloseHandle(inWrite);
  outReader.join();
  errReader.join();
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  run.exitStatus = static_cast<int>(code);
  run.out = consoleText(run.out);
  run.err = consoleText(run.err);
  return run;
}

RunningExe::RunningExe(const std::string& exe, const std::string& dir) : errPath_(dir + ".err") {
  HANDLE inRead, inWrite, outRead, outWrite;
  makePipe(&inRead, &inWrite, true);
  makePipe(&outRead, &outWrite, false);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE err = CreateFileW(widen(windowsPath(errPath_)).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  process_ = startProcess(exe, dir, {}, inRead, outWrite, err);
  CloseHandle(inRead);
  CloseHandle(outWrite);
  CloseHandle(err);
  stdin_ = inWrite;
  stdout_ = outRead;
}

RunningExe::~RunningExe() {
  if (process_ != nullptr) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, INFINITE);
    CloseHandle(process_);
  }
  if (stdin_ != nullptr) CloseHandle(stdin_);
  if (stdout_ != nullptr) CloseHandle(stdout_);
  std::remove(errPath_.c_str());
}

void RunningExe::terminate() {
  terminated_ = true;
  TerminateProcess(process_, 1);
}

void RunningExe::sendStdin(const std::string& text) {
  DWORD written = 0;
  WriteFile(stdin_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool RunningExe::exited() { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }

ExeRun RunningExe::finish() {
  ExeRun run;
  std::string out;
  std::thread reader(readAll, stdout_, &out);
  stdout_ = nullptr;
  CloseHandle(stdin_);
  stdin_ = nullptr;
  reader.join();
  WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  CloseHandle(process_);
  process_ = nullptr;
  run.exitStatus = terminated_ ? -1 : static_cast<int>(code);
  run.out = consoleText(out);
  run.err = consoleText(readFile(errPath_));
  return run;
}

#endif  // _WIN32

}  // namespace statics_clean
