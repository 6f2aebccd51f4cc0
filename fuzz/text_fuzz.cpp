// Hex text and field text: any bytes typed into a field are read without fault, a
// hex dump reads back as the bytes it shows, and a decimal value agrees with its
// trimmed text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "link/field_text.h"
#include "link/hex_text.h"

using namespace tarnwick::link;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ParseHexText(text);
  const std::string trimmed = TrimFieldText(text);
  if (trimmed.size() > text.size()) std::abort();
  if (DecimalFieldValue(trimmed) != DecimalFieldValue(text)) std::abort();

  const auto bytes = std::span(data, size);
  const std::string dump = FormatHexDump(bytes);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (ParseHexText(std::string_view(dump).substr(i * 3, 2)) != bytes[i]) std::abort();
  return 0;
}
