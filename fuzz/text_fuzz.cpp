// Hex text and field text: any bytes typed into a field are read without fault, a
// hex dump reads back as the bytes it shows, and a number as typed agrees with its
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
  for (const NumberForm form : {NumberForm::Decimal, NumberForm::Hex, NumberForm::Count}) {
    if (ReadFieldNumber(trimmed, form, Reading::AsTyped) != ReadFieldNumber(text, form, Reading::AsTyped)) std::abort();
    const auto exact = ReadFieldNumber(text, form, Reading::Exact);
    if (exact && (*exact < 0 || *exact > (std::int64_t{1} << 40))) std::abort();
  }

  const auto bytes = std::span(data, size);
  const std::string dump = FormatHexDump(bytes);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (ParseHexText(std::string_view(dump).substr(i * 3, 2)) != bytes[i]) std::abort();
  return 0;
}
