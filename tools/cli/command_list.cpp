// kolthermo list: the eight camera slots and the cameras found in them.
#include <array>
#include <cstdio>

#include "camera_session.h"
#include "command.h"
#include "kolthermo/kolthermo.h"

namespace kt::cli {
namespace {

int RunList(const ParsedOptions& /*options*/) {
  // Enumeration needs an instance; no window, nothing is acquired.
  const int id = KolThermo_Initialize(nullptr);
  if (id == 0) throw Failure("KolThermo_Initialize failed: no camera instance");
  int found = 0;
  for (int slot = 0; slot < kCameraSlots; ++slot) {
    const std::optional<std::string> name = CameraNameAt(id, slot);
    if (name) ++found;
    std::printf("slot %d  %s\n", slot, name ? name->c_str() : "-");
  }
  KolThermo_Release(id);
  std::printf("%d camera%s found\n", found, found == 1 ? "" : "s");
  if (found == 0) {
    std::fprintf(stderr, "kolthermo list: no camera found\n");
    return kExitFailure;
  }
  return kExitSuccess;
}

constexpr std::array<OptionSpec, 0> kOptions{};

}  // namespace

const Command& ListCommand() {
  static const Command command{
      "list",
      "list the camera slots 0..7 and the cameras in them",
      "Lists the eight camera slots with the display name of the camera in each\n"
      "('-' for an empty slot). Exits 1 when no slot holds a camera.",
      kOptions,
      "  kolthermo list\n",
      RunList};
  return command;
}

}  // namespace kt::cli
