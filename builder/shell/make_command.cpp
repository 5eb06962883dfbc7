// `tamarquill make`: one make on the console, or a watch that makes again whenever a file the make read
// changes.
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "builder/image/dependency_file.h"
#include "builder/image/make_driver.h"
#include "builder/shell/command_line.h"
#include "builder/shell/console_view.h"
#include "builder/shell/input_watch.h"
#include "builder/shell/make_options.h"

namespace brindlecor::builder {

namespace {

using Clock = std::chrono::steady_clock;

// An editor's save is a burst of events (a backup, a temporary file, a rename, the close); the make waits
// until the folders have been quiet this long, so that one save gives one make.
constexpr auto kQuietTime = std::chrono::milliseconds(20);

struct MakeRun {
    bool failed = false;
    bool imageWritten = false;
    int errors = 0;
    double milliseconds = 0;
    MakeFiles files;
};

// One make as a separate `tamarquill make` would run it: every make of a watch starts from the startup
// settings, so that it gives the same image.
MakeRun makeOnce(const MakeOptions& options) {
    ConsoleView view(options.quiet ? nullptr : stdout, stderr);
    SystemWallClock clock;
    Builder builder(view, clock);
    builder.log().setSilentErrors(true);
    builder.setImageOverride(options.output);
    const auto start = Clock::now();
    builder.make(options.definitions);
    MakeRun run;
    run.failed = builder.log().hasErrors();
    if (!options.depfile.empty() && builder.imageWritten()) {
        if (auto error = writeDependencyFile(options.depfile, builder.imagePath(), builder.files())) {
            std::fprintf(stderr, "tamarquill make: %s\n", error->c_str());
            run.failed = true;
            ++run.errors;
        }
    }
    run.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.errors += view.errorCount();
    run.imageWritten = builder.imageWritten();
    run.files = builder.files();
    std::fflush(stdout);
    return run;
}

std::string plural(long long n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

void printSummary(const MakeRun& run, const WatchPlan& plan) {
    char stamp[16];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    long long files = 0;
    for (const MakeFiles::Read& read : run.files.reads())
        if (read.found && read.kind == MakeFiles::Kind::File) ++files;
    const std::string outcome = std::string(run.imageWritten ? "image written" : "no image written") + ", " +
                                (run.errors == 0 ? std::string("no errors") : plural(run.errors, "error"));
    std::printf("== %s make took %.1f ms: %s; watching %s in %s\r\n", stamp, run.milliseconds,
                outcome.c_str(), plural(files, "file").c_str(),
                plural(static_cast<long long>(plan.folders.size()), "folder").c_str());
    std::fflush(stdout);
}

void followPlan(FolderWatcher& watcher, const WatchPlan& plan) {
    for (const std::string& problem : watcher.follow(plan))
        std::fprintf(stderr, "tamarquill make: cannot watch %s\n", problem.c_str());
}

int runWatch(const MakeOptions& options) {
    FolderWatcher watcher;
    if (!watcher.error().empty()) {
        std::fprintf(stderr, "tamarquill make: cannot watch files: %s\n", watcher.error().c_str());
        return 1;
    }
    // Ctrl+C and SIGTERM end the watch between makes, through the poll below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (stopFd < 0) {
        std::fprintf(stderr, "tamarquill make: cannot wait for signals: %s\n", std::strerror(errno));
        return 1;
    }
    const std::vector<std::string> alsoWritten =
        options.depfile.empty() ? std::vector<std::string>{} : std::vector<std::string>{options.depfile};

    MakeRun run = makeOnce(options);
    WatchPlan plan = planWatch(run.files, alsoWritten);
    followPlan(watcher, plan);
    printSummary(run, plan);

    bool pending = false;
    Clock::time_point lastChange;
    for (;;) {
        int timeout = -1;
        if (pending) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(lastChange + kQuietTime - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {watcher.descriptor(), POLLIN, 0}};
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) {
            std::fprintf(stderr, "tamarquill make: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents & POLLIN) break;
        if (fds[1].revents & POLLIN) {
            for (const FolderWatcher::Event& event : watcher.read()) {
                const bool overflow = (event.mask & IN_Q_OVERFLOW) != 0;
                if (!overflow && !plan.matters(event.folder, event.name)) continue;
                pending = true;
                lastChange = Clock::now();
                // A folder new in the site is watched at once: what appears in it before the make has
                // walked it must not go unseen.
                const auto folder = plan.folders.find(event.folder);
                if (!overflow && (event.mask & IN_ISDIR) && (event.mask & (IN_CREATE | IN_MOVED_TO)) &&
                    folder != plan.folders.end() && folder->second.everyEntry) {
                    const std::string path = event.folder + "/" + event.name;
                    plan.addSiteFolder(path);
                    watcher.watch(path);
                }
            }
        }
        if (pending && Clock::now() >= lastChange + kQuietTime) {
            pending = false;
            run = makeOnce(options);
            plan = planWatch(run.files, alsoWritten);
            followPlan(watcher, plan);
            printSummary(run, plan);
        }
    }
    close(stopFd);
    return 0;
}

}  // namespace

int runMakeCommand(const std::vector<std::string>& args) {
    MakeOptions options;
    if (auto error = parseMakeOptions(args, options)) {
        std::fprintf(stderr, "tamarquill make: %s\n%sTry 'tamarquill --help'.\n", error->c_str(), kMakeUsage);
        return 2;
    }
    if (options.watch) return runWatch(options);
    return makeOnce(options).failed ? 1 : 0;
}

}  // namespace brindlecor::builder
