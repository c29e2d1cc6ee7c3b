#include "app/run.h"

int main(int argc, char** argv) { return repcopy::entry_point(argc, argv); }
