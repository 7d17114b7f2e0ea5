#include "tools/watch/file_watch.h"

int main(int argc, char** argv) { return watch::FileWatchMain(argc, argv); }
