// Runs the built quarn executable (its path comes from CMake as QUARN_EXE) the way a shell
// would, for the tests that check the tool from outside.
#pragma once

#include <string>
#include <vector>

namespace quarn::cli_test {

struct RunResult {
  int status = -1;  // the exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs program with args in directory cwd, with input as its standard input, and waits for
// it to end.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input, const std::string& cwd);

// Runs quarn with args in directory cwd (the fixture directory unless given), with input as
// its standard input, and waits for it to end.
RunResult RunQuarn(const std::vector<std::string>& args, const std::string& input = "",
                   const std::string& cwd = QUARN_FIXTURES);

// A quarn process that runs while the test talks to it through pipes, line by line.
class QuarnProcess {
 public:
  explicit QuarnProcess(const std::vector<std::string>& args);
  ~QuarnProcess();  // closes its input and waits for it
  QuarnProcess(const QuarnProcess&) = delete;
  QuarnProcess& operator=(const QuarnProcess&) = delete;

  void WriteLine(const std::string& line);
  // The next line of its standard output, without the LF; empty when none comes within
  // timeoutMs milliseconds or the output ends.
  std::string ReadLine(int timeoutMs);
  // Closes its standard input and returns its exit status.
  int Finish();

 private:
  int pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string pending_;
  int status_ = -1;
};

// A scratch directory for files made by a test, removed with everything in it afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes a file of the given bytes and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

}  // namespace quarn::cli_test
