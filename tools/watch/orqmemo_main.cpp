#include "tools/watch/autorun_watch.h"

int main(int argc, char** argv) { return watch::AutorunWatchMain(argc, argv); }
