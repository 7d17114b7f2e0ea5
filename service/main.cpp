#include "service/service_entry.h"

int main(int argc, char** argv) { return service::ServiceEntry(argc, argv); }
