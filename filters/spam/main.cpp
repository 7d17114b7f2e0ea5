#include "filters/spam/spam_server.h"

int main(int argc, char** argv) { return spam::SpamCheckServerMain(argc, argv); }
