#include "app/start.h"

int main(int argc, char** argv) { return runClient(argc, argv); }
