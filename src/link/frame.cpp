#include "frame.h"

namespace tarnwick::link {

std::string_view DeviceErrorText(std::uint8_t code) {
  switch (code) {
    case 1: return "Invalid Command";
    case 2: return "Data Check Error";
    case 3: return "CMD Syntax Error";
    case 4: return "Motor Type Error";
    default: return "Unknown Error";
  }
}

}  // namespace tarnwick::link
