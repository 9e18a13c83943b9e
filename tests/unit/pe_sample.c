/* A tiny Windows program; the tests read the subsystem of its PE file. */
int main(void) { return 0; }
