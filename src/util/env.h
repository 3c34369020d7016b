// Env: the tool's one seam to the platform.
//
// Every opening, reading, seeking, writing, syncing, closing, renaming and removing of a file goes
// through an Env, and so does the test whether a stream is a terminal. Env::Default() is the real
// file system of the platform the tool was built for; tests substitute an in-memory Env or one that
// fails a chosen operation, so that every failure path can be driven.
//
// Paths are passed as they are and used relative to the current directory. Every file is opened
// in binary mode: bytes are read and written exactly, with no line-end translation. Positions and
// sizes are 64-bit on every platform.

#ifndef STATICS_CLEAN_UTIL_ENV_H_
#define STATICS_CLEAN_UTIL_ENV_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "util/status.h"

namespace statics_clean {

// A file open for reading. Closed when destroyed.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;

  // Reads up to n bytes at the current position into buf and advances the position.
  // *got < n only when the end of the file was reached; a read that the platform cuts short for
  // any other reason is retried.
  virtual Status read(char* buf, size_t n, size_t* got) = 0;

  // Moves the position to byte pos, counted from the start of the file.
  virtual Status seek(uint64_t pos) = 0;

  // The size of the file in bytes.
  virtual Status size(uint64_t* bytes) = 0;
};

// A file open for writing, created new. Closed by close(); a file destroyed without close() is
// closed with its errors ignored, which is how an abandoned output is let go.
class WritableFile {
 public:
  virtual ~WritableFile() = default;

  // Writes all n bytes at the end of the file; a failure (a full disk, say) is an error, never a
  // short write.
  virtual Status append(const char* data, size_t n) = 0;

  // Makes what was written durable on the storage device.
  virtual Status sync() = 0;

  // REQUIRES: not closed yet.
  virtual Status close() = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The platform's real file system. Never destroyed.
  static Env* Default();

  // Opens an existing file for reading. A missing file gives kEnvNotFound; a directory is an
  // error too, since no file of the tool is one.
  virtual Status openReadable(const std::string& path, std::unique_ptr<ReadableFile>* file) = 0;

  // Creates a new file for writing with the permissions a plain create gives.
  // Fails if the path already exists, so that a file of somebody else's is never written through.
  virtual Status createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) = 0;

  // Renames from to to, replacing a file already called to.
  virtual Status renameReplacing(const std::string& from, const std::string& to) = 0;

  // Removes a file. A missing file gives kEnvNotFound.
  virtual Status removeFile(const std::string& path) = 0;

  // True when something exists under path.
  virtual bool fileExists(const std::string& path) = 0;

  // True when stream is connected to a terminal (a console window).
  virtual bool isTerminal(std::FILE* stream) = 0;
};

// Joins a folder and a file name; the folder "." (or an empty one) leaves the name as it is, so
// that messages name the file as the user knows it.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_UTIL_ENV_H_
