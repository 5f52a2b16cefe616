// SPDX-License-Identifier: GPL-3.0-or-later
// Font descriptions come from language folders: parse any text and lay
// it over a font, as ApplyFont does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "i18n/QSMultiFonts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace purgo;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TQelMultiFonts store;
  store.SetFontOfID(1, text);
  const TQelFontProperty base("Tahoma,8,2,255,0,0");
  TQelFont font;
  int told = 0;
  font.OnChange = [&told] { ++told; };
  store.ChangeFontOfID(font, 1, &base);
  TQelFontProperty again(store.FindFontOfID(1)->FormatString());
  again.ChangeFont(font, text);
  return told > 2 ? 1 : 0;
}
