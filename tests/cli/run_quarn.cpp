// Starts quarn with posix_spawn: with files for its standard streams (a whole run), or with
// pipes (a conversation with the host mode).
#include "run_quarn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quarn::cli_test {

namespace {

// argv[0] is the program's file name, as a shell gives it: programs name themselves by it.
std::vector<char*> Argv(const std::vector<std::string>& args, const char* program = QUARN_EXE) {
  std::vector<char*> argv;
  const char* slash = std::strrchr(program, '/');
  argv.push_back(const_cast<char*>(slash ? slash + 1 : program));
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int ExitStatus(int waitStatus) {
  return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

int WaitFor(int pid) {
  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  return ExitStatus(waitStatus);
}

}  // namespace

RunResult RunQuarn(const std::vector<std::string>& args, const std::string& input,
                   const std::string& cwd) {
  return RunProgram(QUARN_EXE, args, input, cwd);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input, const std::string& cwd) {
  const ScratchDir scratch;
  const std::string in = scratch.Write("stdin", input);
  const std::string out = scratch.path() + "/stdout";
  const std::string err = scratch.path() + "/stderr";
  std::vector<char*> argv = Argv(args, program.c_str());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + program);
  RunResult result;
  result.status = WaitFor(pid);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

QuarnProcess::QuarnProcess(const std::vector<std::string>& args) {
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char*> argv = Argv(args);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  const int failed = posix_spawn(&pid_, QUARN_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " QUARN_EXE);
  close(toChild[0]);
  close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
  signal(SIGPIPE, SIG_IGN);
}

QuarnProcess::~QuarnProcess() {
  Finish();
  if (out_ >= 0) close(out_);
}

void QuarnProcess::WriteLine(const std::string& line) {
  const std::string data = line + "\n";
  for (size_t done = 0; done < data.size();) {
    const ssize_t written = write(in_, data.data() + done, data.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("write to quarn failed");
    }
    done += static_cast<size_t>(written);
  }
}

std::string QuarnProcess::ReadLine(int timeoutMs) {
  while (pending_.find('\n') == std::string::npos) {
    pollfd fd{out_, POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    char buffer[4096];
    const ssize_t got = read(out_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return {};
    pending_.append(buffer, static_cast<size_t>(got));
  }
  const size_t end = pending_.find('\n');
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return line;
}

int QuarnProcess::Finish() {
  if (in_ >= 0) {
    close(in_);
    in_ = -1;
    status_ = WaitFor(pid_);
  }
  return status_;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarn-cli-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string file = path_ + "/" + name;
  std::ofstream(file, std::ios::binary) << bytes;
  return file;
}

}  // namespace quarn::cli_test
