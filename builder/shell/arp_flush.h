// The ARP-cache flush that every download starts with: the entry of the factory address is dropped where the
// system lets us, and the step is skipped silently where it does not.
#pragma once

namespace brindlecor::builder {

// The address the ARP cache entry is dropped for before every download, whatever the target.
constexpr const char* kArpFlushAddress = "192.168.1.250";

// Starts "arp -d", or failing that "ip neigh flush", for the factory address without waiting for it.
void flushArpCache();

}  // namespace brindlecor::builder
