#include <cstdio>
int main() {
  std::puts("kestrova-render: headless rendering is not yet available");
  return 0;
}
