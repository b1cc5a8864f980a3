// Runs the single-copy check and, when it lets this copy live, says so and
// stays until its standard input closes.
#include <cstdio>
#include <unistd.h>

#include "app/startup.h"
#include "platform/ui.h"

int main() {
  StartUi(UiBackendKind::Headless);
  CheckSingleInstance();
  puts("alone");
  fflush(stdout);
  char buffer[64];
  while (read(0, buffer, sizeof buffer) > 0) {
  }
  return 0;
}
