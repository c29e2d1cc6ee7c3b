#pragma once
// Running the built executables from the tests through the system's shell (sh, or cmd.exe on
// Windows), with the quoting and the exit status of that shell.

#include <cstdio>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>
#endif

namespace repcopy::testutil {

// The exit status a fatal stop (exit code -1) leaves: 255 as POSIX shells see it, -1 on Windows.
#if defined(_WIN32)
inline constexpr int kFatalExitStatus = -1;
#else
inline constexpr int kFatalExitStatus = 255;
#endif

#if defined(_WIN32)
inline constexpr const char* kNullDevice = "NUL";
// cmd.exe keeps a command whole only when the whole of it is quoted once more.
inline std::string shell_command(const std::string& command) { return "\"" + command + "\""; }
inline std::string quoted(const std::string& arg) { return "\"" + arg + "\""; }
inline int exit_code_of(int status) { return status; }
inline FILE* open_pipe(const std::string& command) {
  return _popen(shell_command(command).c_str(), "rb");
}
inline int close_pipe(FILE* pipe) { return _pclose(pipe); }
// A program built beside the test program.
inline std::string built_program(const char* name) {
  wchar_t self[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, self, DWORD(std::size(self)));
  return (std::filesystem::path(std::wstring(self, n)).parent_path() / (std::string(name) + ".exe"))
      .string();
}
#else
inline constexpr const char* kNullDevice = "/dev/null";
inline std::string shell_command(const std::string& command) { return command; }
inline std::string quoted(const std::string& arg) { return "'" + arg + "'"; }
inline int exit_code_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
inline FILE* open_pipe(const std::string& command) { return ::popen(command.c_str(), "r"); }
inline int close_pipe(FILE* pipe) { return ::pclose(pipe); }
#endif

// The executables the tests run.
#if defined(_WIN32)
inline std::string repcopy_program() { return built_program("repcopy"); }
inline std::string repgen_program() { return built_program("repgen"); }
inline std::string repdump_program() { return built_program("repdump"); }
#else
inline std::string repcopy_program() { return REPCOPY_BIN; }
inline std::string repgen_program() { return REPGEN_BIN; }
inline std::string repdump_program() { return REPDUMP_BIN; }
#endif

// Runs a shell command; its exit code (-1 when it did not exit normally).
inline int run_shell(const std::string& command) {
  return exit_code_of(std::system(shell_command(command).c_str()));
}

#if !defined(_WIN32)
// Starts program with the arguments, standard output and error going to the files out and err;
// returns the child's process id (to signal it or wait for it).
inline pid_t start_program(const char* program, const std::vector<std::string>& arguments,
                           const std::string& out, const std::string& err) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(127);
  }
  return pid;
}
#endif

}  // namespace repcopy::testutil
