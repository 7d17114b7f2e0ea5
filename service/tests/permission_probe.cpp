// Run as another user by the permission tests: tries what an administrator
// of the group does with the service's places and prints each Win32 result.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/pipe/named_mutex.h"
#include "platform/pipe/pipe.h"
#include "platform/registry/registry.h"

int main() {
    ::umask(0007);
    platform::HKEY key = nullptr;
    platform::LONG rc = platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVRISK\\VELQOR_SERVER", 0,
                                                  nullptr, platform::REG_OPTION_NON_VOLATILE, platform::KEY_ALL_ACCESS,
                                                  nullptr, &key, nullptr);
    if (rc == 0) {
        platform::DWORD value = 1;
        rc = platform::RegSetValueExA(key, "setup", 0, platform::REG_DWORD,
                                      reinterpret_cast<const platform::BYTE*>(&value), sizeof value);
        platform::RegCloseKey(key);
    }
    std::printf("registry %ld\n", static_cast<long>(rc));
    platform::NamedMutex guard("Tavrisk VELQOR Server V2");
    std::printf("guard %d\n", guard.error());
    std::string reply;
    int call = platform::CallNamedPipe("orqprobe", "hello", 16, reply, 1000, 10000);
    std::printf("pipe %d %s\n", call, reply.c_str());
    return 0;
}
