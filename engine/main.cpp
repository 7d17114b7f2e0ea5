// orqhprx: the proxy engine. The service starts it once per protocol,
// under the names orqhprx, orqsprx, orqpprx, orqfprx, orqcprx (orqiprx).
#include "engine/app/startup.h"

int main(int argc, char** argv) { return engine::RunEngine(argc, argv); }
