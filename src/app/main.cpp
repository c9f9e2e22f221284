// Quorvane: a real-time audio analyser.
#include "app/startup.h"

int main(int argc, char** argv) { return qv::RunQuorvane(argc, argv); }
