// Captions carry their keyboard accelerator as an "&" before the character ("Sc&an", "COM&1");
// "&&" stands for an ampersand itself.
#pragma once

#include <string>
#include <string_view>

namespace korvex::view {

// The marked character, 0 when the caption has none.
char AcceleratorOf(std::string_view caption);

// The caption as shown, without its accelerator mark ("&&" becomes "&").
std::string WithoutAccelerator(std::string_view caption);

}  // namespace korvex::view
