#include "builder/shell/arp_flush.h"

#include <fcntl.h>
#include <spawn.h>

#include <initializer_list>

extern char** environ;

namespace brindlecor::builder {

void flushArpCache() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    const char* arp[] = {"arp", "-d", kArpFlushAddress, nullptr};
    const char* ip[] = {"ip", "neigh", "flush", "to", kArpFlushAddress, nullptr};
    for (const char** command : {arp, ip}) {
        pid_t pid = -1;
        if (posix_spawnp(&pid, command[0], &actions, nullptr, const_cast<char* const*>(command), environ) ==
            0)
            break;  // not waited for; it ends on its own and is reaped at exit
    }
    posix_spawn_file_actions_destroy(&actions);
}

}  // namespace brindlecor::builder
