// orqcwfs: the content word filter server.
#include "filters/cwfs/word_filter_server.h"

int main(int argc, char** argv) { return cwfs::WordFilterServerMain(argc, argv); }
