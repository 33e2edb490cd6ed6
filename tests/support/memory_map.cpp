#include "tests/support/memory_map.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace vexa {

bool HasHugePageHint(const void* address) {
  const auto target = reinterpret_cast<uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    unsigned long begin = 0;
    unsigned long end = 0;
    // A mapping starts with its address range "begin-end perms ..."; its "Name: value" fields follow.
    if (std::sscanf(line.c_str(), "%lx-%lx ", &begin, &end) == 2) {
      inside = begin <= target && target < end;
      continue;
    }
    if (!inside || line.rfind("VmFlags:", 0) != 0) continue;
    std::istringstream flags(line.substr(8));
    std::string flag;
    while (flags >> flag) {
      if (flag == "hg") return true;
    }
    return false;
  }
  return false;
}

}  // namespace vexa
