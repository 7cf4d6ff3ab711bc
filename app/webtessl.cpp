// Program entry of the WebTessl server.
#include "app/MainSequence.h"

int main(int argc, char* argv[]) {
  return webtessl::RunMainSequence(argc, argv);
}
