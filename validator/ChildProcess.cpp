// ChildProcess: spawning, waiting with a time limit, and describing how a
// test process ended.
#include "validator/ChildProcess.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

extern char** environ;
#endif

namespace qor::validator {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

#ifdef _WIN32
const char* exceptionName(std::uint32_t code) {
  switch (code) {
    case 0xC0000005u: return "access violation";
    case 0xC00000FDu: return "stack overflow";
    case 0xC0000094u: return "integer division by zero";
    case 0xC000001Du: return "illegal instruction";
    case 0xC0000409u: return "stack buffer overrun";
    case 0xC0000374u: return "heap corruption";
    case 0x80000003u: return "breakpoint";
    case 0xC0000420u: return "assertion failure";
    default: return nullptr;
  }
}
#else
const char* signalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGABRT: return "SIGABRT";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGKILL: return "SIGKILL";
    case SIGTERM: return "SIGTERM";
    case SIGTRAP: return "SIGTRAP";
    case SIGPIPE: return "SIGPIPE";
    default: return nullptr;
  }
}
#endif

}  // namespace

std::string ChildOutcome::describe() const {
  if (!started) return "could not be started: " + startError;
  if (timedOut) return "timed out after " + fixed1(seconds) + " s";
#ifdef _WIN32
  const auto code = static_cast<std::uint32_t>(exitCode);
  if (code >= 0xC0000000u || code == 0x80000003u) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    const char* name = exceptionName(code);
    return std::string("ended with exception ") + hex + (name ? std::string(" (") + name + ")" : "");
  }
  if (code == 3) return "exited with code 3 (abort)";
#else
  if (signaled) {
    const char* name = signalName(signal);
    return "killed by signal " + std::to_string(signal) +
           (name ? std::string(" (") + name + ")" : std::string());
  }
#endif
  return "exited with code " + std::to_string(exitCode);
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

#ifdef _WIN32

namespace {

// Quotes one argument the way the C runtime's command-line parser reads it.
std::string quoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') quoted.append(backslashes * 2 + 1, '\\');
    else quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

LONG WINAPI endOnCrash(EXCEPTION_POINTERS* info) {
  std::fflush(nullptr);
  ::TerminateProcess(::GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void endProcessOnCrash() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(&endOnCrash);
}

ChildOutcome runChild(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& outputPath, double timeoutSeconds) {
  ChildOutcome outcome;
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  HANDLE output = ::CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE input = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) {
    outcome.startError = "cannot create " + outputPath;
    if (input != INVALID_HANDLE_VALUE) ::CloseHandle(input);
    return outcome;
  }
  std::string commandLine = quoteArgument(program);
  for (const std::string& argument : arguments) commandLine += " " + quoteArgument(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  const auto start = Clock::now();
  const BOOL created = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &process);
  ::CloseHandle(output);
  if (input != INVALID_HANDLE_VALUE) ::CloseHandle(input);
  if (!created) {
    outcome.startError = "CreateProcessA failed with error " + std::to_string(::GetLastError());
    return outcome;
  }
  outcome.started = true;
  const DWORD limit = static_cast<DWORD>(timeoutSeconds * 1000);
  if (::WaitForSingleObject(process.hProcess, limit) == WAIT_TIMEOUT) {
    ::TerminateProcess(process.hProcess, 0xDEAD);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    outcome.timedOut = true;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  outcome.exited = !outcome.timedOut;
  outcome.exitCode = static_cast<int>(code);
  outcome.seconds = secondsSince(start);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return outcome;
}

std::string currentProgramPath(const char* argv0) {
  char path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return argv0 != nullptr ? argv0 : "";
  return std::string(path, n);
}

std::string makeTemporaryDirectory() {
  char base[MAX_PATH];
  const DWORD n = ::GetTempPathA(sizeof base, base);
  if (n == 0 || n >= sizeof base) return {};
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string path = std::string(base) + "qor_validate_" +
                             std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(attempt);
    if (::CreateDirectoryA(path.c_str(), nullptr)) return path;
  }
  return {};
}

void removeTemporaryDirectory(const std::string& path, const std::vector<std::string>& files) {
  for (const std::string& file : files) ::DeleteFileA(file.c_str());
  ::RemoveDirectoryA(path.c_str());
}

#else

void endProcessOnCrash() {}

ChildOutcome runChild(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& outputPath, double timeoutSeconds) {
  ChildOutcome outcome;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A process group of its own: a time-out kills whatever the test started.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);

  const auto start = Clock::now();
  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    outcome.startError = std::strerror(error);
    return outcome;
  }
  outcome.started = true;
  int status = 0;
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    if (secondsSince(start) > timeoutSeconds) {
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      outcome.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(10)) pause *= 2;
  }
  outcome.seconds = secondsSince(start);
  if (outcome.timedOut) return outcome;
  if (WIFEXITED(status)) {
    outcome.exited = true;
    outcome.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.signaled = true;
    outcome.signal = WTERMSIG(status);
  }
  // Whatever the test left running in its group goes with it.
  ::kill(-pid, SIGKILL);
  return outcome;
}

std::string currentProgramPath(const char* argv0) {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) return std::string(path, static_cast<std::size_t>(n));
  return argv0 != nullptr ? argv0 : "";
}

std::string makeTemporaryDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/qor_validate_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void removeTemporaryDirectory(const std::string& path, const std::vector<std::string>& files) {
  for (const std::string& file : files) ::unlink(file.c_str());
  ::rmdir(path.c_str());
}

#endif

}  // namespace qor::validator
