// The stand-in asset-database daemon (see vaddaemon/README.md).
#include "vaddaemon/DaemonMain.h"

int main() {
  return RunDaemon();
}
