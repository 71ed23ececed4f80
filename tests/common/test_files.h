// Helpers shared by the tests: temporary directories, whole-file reads and
// writes, and running a program with captured output.
#ifndef QUORVALE_TEST_FILES_H
#define QUORVALE_TEST_FILES_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testfs {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvale-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

// Runs `program` with `args` in directory `cwd`; `prefix` is shell text put
// before the command (for example "ulimit -f 8;").
inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& cwd, const std::string& prefix = "") {
  TempDir capture;
  // Built by appending only: GCC 12 warns falsely on "text" + std::string temporaries.
  std::string command = "cd ";
  command += ShellQuote(cwd);
  command += " && ";
  command += prefix;
  command += ' ';
  command += ShellQuote(program);
  for (const std::string& arg : args) {
    command += ' ';
    command += ShellQuote(arg);
  }
  command += " >";
  command += ShellQuote(capture / "out");
  command += " 2>";
  command += ShellQuote(capture / "err");
  const int status = std::system(command.c_str());
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(capture / "out");
  result.err = ReadText(capture / "err");
  return result;
}

}  // namespace testfs

#endif  // QUORVALE_TEST_FILES_H
