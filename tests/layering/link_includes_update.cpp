// Compiled as part of the link layer: a header of the operations layer above must not be
// found, so this file fails to compile.
#include "update/run_context.h"

int LayeringProbeUp() {
  return 0;
}
