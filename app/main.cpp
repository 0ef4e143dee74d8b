#include <cstdio>

int main() {
  std::puts("vipcheckin: the window is not built yet.");
  return 0;
}
