#include <cstdio>
int main() {
  std::puts("varnelo: the window is not built yet");
  return 0;
}
