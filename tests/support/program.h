// Running the programs from end-to-end tests: one-shot runs with captured output, and servers started in
// the background and stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace brindlecor::testing {

// Path of a built program ("tamarquill", "brindlecorpc").
std::string programPath(const std::string& name);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs the program to completion with the given stdin text and extra environment ("KEY=VALUE").
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input = "", const std::vector<std::string>& env = {});

// A program running in the background; its stdout and stderr go to files that can be read at any time.
class BackgroundProgram {
public:
    BackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {});
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool running();
    std::string out() const;
    std::string err() const;
    // Waits until stdout contains the text or the program ends; false after timeoutMs.
    bool waitForOutput(const std::string& text, int timeoutMs = 10000);
    // SIGTERM, then waits; returns the exit status (128 + signal when killed).
    int stop(int signal = 15);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outPath_, errPath_;
};

// A port that was free for TCP and UDP on every interface a moment ago, outside the range the kernel hands
// out by itself (`udp` is kept for the callers that say which one they need).
int freePort(bool udp = false);

// A free port for each service of `brindlecorpc serve`, so that servers of several tests run side by side.
struct ServePorts {
    int http = freePort(), download = freePort(true), name = freePort(true), ram = freePort(true),
        datagram = freePort(true);
    // "serve IMAGE" and an option for each of the ports.
    std::vector<std::string> serveArgs(const std::string& image) const;
};

// A fresh empty folder under the system's temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace brindlecor::testing
