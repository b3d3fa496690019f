#include "view/accelerator.h"

namespace korvex::view {

char AcceleratorOf(std::string_view caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return caption[i + 1];
    ++i;  // "&&" is an ampersand, not a mark
  }
  return 0;
}

std::string WithoutAccelerator(std::string_view caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    out.push_back(caption[i]);
  }
  return out;
}

}  // namespace korvex::view
