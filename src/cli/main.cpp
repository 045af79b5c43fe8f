#include <cstdio>
int main() {
  std::puts("varnelo-cli: not built yet");
  return 0;
}
