// kwl: runs a KWL page from the console or as a CGI program.
#include "runtime/entry.h"

int main(int argc, char** argv) { return kwl::Main(argc, argv); }
