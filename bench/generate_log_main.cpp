// quorvel-generate-log PATH ROWS: writes a nine-channel benchmark log.
#include <cstdio>
#include <cstdlib>

#include "generate_log.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: quorvel-generate-log PATH ROWS\n");
    return 2;
  }
  return quorvel::generateLog(argv[1], std::atoll(argv[2])) ? 0 : 1;
}
