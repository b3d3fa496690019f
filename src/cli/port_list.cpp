#include "cli/port_list.h"

#include <algorithm>

#include "link/tkvrs.h"

namespace korvex::cli {

std::vector<std::string> PortListLines(const std::vector<link::PortInfo>& ports) {
  if (ports.empty()) return {"No serial ports found."};
  std::vector<std::string> names;
  for (const link::PortInfo& port : ports) names.push_back(port.name);
  link::SortPortNames(names);
  std::size_t width = 0;
  for (const std::string& name : names) width = std::max(width, name.size());

  std::vector<std::string> lines;
  bool anyDenied = false;
  for (const std::string& name : names) {
    const auto port = std::find_if(ports.begin(), ports.end(),
                                   [&](const link::PortInfo& p) { return p.name == name; });
    std::string notes = port->description;
    if (!port->mayOpen) {
      notes += (notes.empty() ? "" : "  ") + std::string(kNoPermissionMark);
      anyDenied = true;
    }
    lines.push_back(notes.empty() ? name
                                  : name + std::string(width - name.size() + 2, ' ') + notes);
  }
  if (anyDenied) {
    lines.push_back(std::string("This user may not open the ports marked ") + kNoPermissionMark +
                    ". " + link::kSerialPermissionAdvice);
  }
  return lines;
}

}  // namespace korvex::cli
