// ChildProcess: runs one test in a process of its own, with a time limit, so
// that a crash, an abort or a hang ends that test and never the run. POSIX
// systems spawn with posix_spawn in a process group of its own (killed whole
// on a time-out); Windows uses CreateProcessA, since there is no fork.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor::validator {

struct ChildOutcome {
  bool started = false;
  std::string startError;  // why the process could not be started
  bool timedOut = false;
  bool exited = false;  // ended through exit (exitCode holds the status)
  int exitCode = 0;
  bool signaled = false;  // POSIX: ended by a signal
  int signal = 0;
  double seconds = 0;

  // True when the process ended normally with status 0.
  bool clean() const { return started && !timedOut && exited && exitCode == 0; }
  // "exited with code 3", "killed by signal 11 (SIGSEGV)", "ended with
  // exception 0xC0000005 (access violation)", "timed out after 20.0 s".
  std::string describe() const;
};

// Runs `program` with `arguments`; its standard output and error both go to
// the file `outputPath` (created or emptied), its input is empty. Waits at
// most `timeoutSeconds`, then kills it.
ChildOutcome runChild(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& outputPath, double timeoutSeconds);

// The path of the running program.
std::string currentProgramPath(const char* argv0);

// A new private directory for the run's result files; empty on failure.
std::string makeTemporaryDirectory();
// Removes a directory made by makeTemporaryDirectory and the files in it.
void removeTemporaryDirectory(const std::string& path, const std::vector<std::string>& files);

// The whole content of a file ("" when it cannot be read).
std::string readWholeFile(const std::string& path);

// Makes a crash of this process end it at once with its fault as the exit
// status, without a debugger or a dialog (Windows and Wine would otherwise
// offer one and the test would hang until its time-out). Nothing on POSIX.
void endProcessOnCrash();

}  // namespace qor::validator
