#include "tests/support/program.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

namespace brindlecor::testing {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<char*> argvOf(const std::string& program, const std::vector<std::string>& args,
                          std::vector<std::string>& storage) {
    storage.clear();
    storage.push_back(program);
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

std::vector<char*> envOf(const std::vector<std::string>& extra, std::vector<std::string>& storage) {
    storage.clear();
    for (char** e = environ; *e; ++e) storage.emplace_back(*e);
    storage.insert(storage.end(), extra.begin(), extra.end());
    std::vector<char*> env;
    for (auto& s : storage) env.push_back(s.data());
    env.push_back(nullptr);
    return env;
}

int decodeStatus(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return -1;
}

pid_t spawnWithFiles(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, const std::string& inPath, const std::string& outPath,
                     const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argStorage, envStorage;
    auto argv = argvOf(program, args, argStorage);
    auto envp = envOf(env, envStorage);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string uniqueTemp(const std::string& stem) {
    static int counter = 0;
    return (std::filesystem::temp_directory_path() /
            (stem + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter)))
        .string();
}

}  // namespace

std::string programPath(const std::string& name) { return std::string(BRINDLECOR_BIN_DIR) + "/" + name; }

RunResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                     const std::vector<std::string>& env) {
    const std::string base = uniqueTemp("run");
    const std::string inPath = base + ".in", outPath = base + ".out", errPath = base + ".err";
    std::ofstream(inPath, std::ios::binary) << input;
    RunResult result;
    const pid_t pid = spawnWithFiles(program, args, env, inPath, outPath, errPath);
    if (pid > 0) {
        int raw = 0;
        waitpid(pid, &raw, 0);
        result.status = decodeStatus(raw);
    }
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    std::filesystem::remove(inPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

BackgroundProgram::BackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                                     const std::vector<std::string>& env) {
    const std::string base = uniqueTemp("bg");
    outPath_ = base + ".out";
    errPath_ = base + ".err";
    pid_ = spawnWithFiles(program, args, env, "/dev/null", outPath_, errPath_);
}

BackgroundProgram::~BackgroundProgram() {
    if (running()) stop(SIGKILL);
    std::filesystem::remove(outPath_);
    std::filesystem::remove(errPath_);
}

bool BackgroundProgram::running() {
    if (pid_ <= 0 || status_ >= 0) return false;
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = decodeStatus(raw);
        return false;
    }
    return true;
}

std::string BackgroundProgram::out() const { return slurp(outPath_); }
std::string BackgroundProgram::err() const { return slurp(errPath_); }

bool BackgroundProgram::waitForOutput(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (out().find(text) != std::string::npos) return true;
        if (!running()) return out().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int BackgroundProgram::stop(int signal) {
    if (running()) {
        kill(pid_, signal);
        int raw = 0;
        waitpid(pid_, &raw, 0);
        status_ = decodeStatus(raw);
    }
    return status_;
}

int freePort(bool udp) {
    // Below the kernel's range for automatic ports (32768 and up), so that no other program's socket takes the
    // port between this check and the bind of the program under test; picked at random so that test
    // processes running side by side do not pick alike, and never given out twice in one process.
    static std::set<int> given;
    static std::mt19937 pick(std::random_device{}() ^ static_cast<unsigned>(getpid()));
    std::uniform_int_distribution<int> range(10000, 32000);
    for (;;) {
        const int port = range(pick);
        if (given.count(port)) continue;
        bool free = true;
        for (const int type : {SOCK_STREAM, SOCK_DGRAM}) {
            const int fd = socket(AF_INET, type, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_ANY);  // as the emulator binds its services
            addr.sin_port = htons(static_cast<uint16_t>(port));
            free = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && free;
            close(fd);
        }
        (void)udp;
        if (!free) continue;
        given.insert(port);
        return port;
    }
}

std::vector<std::string> ServePorts::serveArgs(const std::string& image) const {
    return {"serve",           image,
            "--http-port",     std::to_string(http),
            "--download-port", std::to_string(download),
            "--name-port",     std::to_string(name),
            "--ram-port",      std::to_string(ram),
            "--datagram-port", std::to_string(datagram)};
}

TempDir::TempDir() : path_(uniqueTemp("brindlecor")) { std::filesystem::create_directories(path_); }
TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path p = file(name);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string TempDir::read(const std::string& name) const { return slurp(file(name)); }

}  // namespace brindlecor::testing
