#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace tarnwick::link {

// Index = what the baud lists keep as item data and what a baud-rate change sends.
inline constexpr std::array<int, 7> kBaudRates = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr int kDefaultBaudIndex = 2;  // 9600

inline std::optional<int> BaudRateAt(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= kBaudRates.size()) return std::nullopt;
  return kBaudRates[static_cast<std::size_t>(index)];
}

// "2400, 4800, ..., 115200"
inline std::string BaudRatesText() {
  std::string text;
  for (const int rate : kBaudRates) text += (text.empty() ? "" : ", ") + std::to_string(rate);
  return text;
}

inline std::optional<int> BaudIndexOf(int rate) {
  for (std::size_t i = 0; i < kBaudRates.size(); ++i)
    if (kBaudRates[i] == rate) return static_cast<int>(i);
  return std::nullopt;
}

// The pause after the transmit queue has emptied, before the line may turn round:
// twelve bit times and one millisecond per byte.
inline int SettleDelayMs(std::size_t byteCount, int baudRate) {
  const double bitTimeNs = 1e9 / baudRate;
  return static_cast<int>(bitTimeNs * 12 * static_cast<double>(byteCount) / 1e6) + static_cast<int>(byteCount);
}

// How long the bytes take on the wire at ten bits each.
inline std::chrono::microseconds WireTime(std::size_t byteCount, int baudRate) {
  return std::chrono::microseconds(static_cast<long long>(byteCount) * 10'000'000LL / baudRate);
}

}  // namespace tarnwick::link
