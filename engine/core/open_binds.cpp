#include "engine/core/open_binds.h"

#include <mutex>

namespace engine {
namespace {

std::mutex gBindsLock;
std::list<OpenBind> gBinds;

}  // namespace

BindEntry::BindEntry(const std::string& client, const std::string& address, int port) {
    std::lock_guard<std::mutex> guard(gBindsLock);
    entry_ = gBinds.insert(gBinds.end(), OpenBind{client, address, port, false});
}

BindEntry::~BindEntry() {
    std::lock_guard<std::mutex> guard(gBindsLock);
    gBinds.erase(entry_);
}

bool BindEntry::claimed() const {
    std::lock_guard<std::mutex> guard(gBindsLock);
    return entry_->claimed;
}

bool ClaimSocksBind(const std::string& clientAddress, const std::string& address, int port) {
    std::lock_guard<std::mutex> guard(gBindsLock);
    for (OpenBind& bind : gBinds) {
        if (bind.clientAddress == clientAddress && bind.address == address && bind.port == port) {
            bind.claimed = true;
            return true;
        }
    }
    return false;
}

}  // namespace engine
