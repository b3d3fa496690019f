// Compiled as part of the link layer: a header of a lower layer is within reach.
#include "firmware/firmware_image.h"

int LayeringProbeDown() {
  return static_cast<int>(korvex::firmware::kStCheckValueSize);
}
