// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers and flags as the settings files write them, read leniently
// enough for files edited by hand.
#pragma once

#include <cstdint>
#include <string_view>

namespace purgo {

// Blanks (spaces, tabs) at either end, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "0x" or "0X". A decimal value
// must fit the type; a hexadecimal one may use every bit of it and wraps
// ("$FFFFFFFF" is -1 in 32 bits), as Windows tools write masks. Anything
// else (an empty text, trailing characters, an overflow) is refused, and
// AValue is then left alone.
bool TryParseInt32(std::string_view S, std::int32_t& AValue);
bool TryParseInt64(std::string_view S, std::int64_t& AValue);

// "True" or "False" in any letter case, or a decimal number (sign,
// digits, optional fraction and exponent), which is true unless it is 0.
// Anything else is refused and AValue left alone.
bool TryParseBool(std::string_view S, bool& AValue);

}  // namespace purgo
