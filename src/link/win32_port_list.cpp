// The port list on Windows: the COM ports in the system's serial map
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), which every serial driver fills in.
#include <windows.h>

#include <algorithm>

#include "port_list.h"
#include "win32_text.h"

namespace tarnwick::link {
namespace {

constexpr const char* kDevicePrefix = R"(\\.\)";

std::vector<std::string> SerialMapValues() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return {};
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    wchar_t valueName[256];
    wchar_t data[256];
    DWORD valueNameLength = std::size(valueName);
    DWORD dataBytes = sizeof data - sizeof(wchar_t);  // room for a terminator the value may lack
    DWORD type = 0;
    const LONG status = ::RegEnumValueW(key, index, valueName, &valueNameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataBytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;  // a value too long to be a port name, or not text
    data[dataBytes / sizeof(wchar_t)] = L'\0';
    const std::wstring name(data);
    if (!name.empty()) names.push_back(Utf8FromWide(name));
  }
  ::RegCloseKey(key);
  return names;
}

}  // namespace

std::vector<PortEntry> EnumeratePorts() {
  std::vector<PortEntry> ports;
  for (const std::string& name : SerialMapValues()) ports.push_back({name, DevicePathForName(name)});
  SortNaturally(ports);
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

// COM10 and above open only through the device namespace, so every COM name goes
// through it; a name with a slash, backslash or drive colon already is a path.
std::string DevicePathForName(const std::string& nameOrPath) {
  if (nameOrPath.find_first_of(R"(\/:)") != std::string::npos) return nameOrPath;
  return kDevicePrefix + nameOrPath;
}

bool IsSimulatedBoard(const PortEntry&) { return false; }

}  // namespace tarnwick::link
