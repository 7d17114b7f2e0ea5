#include <sys/stat.h>

#include "service/service_entry.h"

int main(int argc, char** argv) {
    // Administrators (the group of the store, data and pipe folders) share
    // what the service and its children make; others get nothing by default.
    ::umask(0007);
    return service::ServiceEntry(argc, argv);
}
