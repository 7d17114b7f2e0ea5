/* A library that does nothing: a test copies it, appends the EICAR test
   string to the copy and preloads that into a harmless program, so that a
   program has an infected module that is not its executable. */
int velqor_mark_library(void) { return 1; }
