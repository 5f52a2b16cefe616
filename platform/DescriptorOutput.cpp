// SPDX-License-Identifier: GPL-3.0-or-later
// What the output buffer does when full, the same on every platform: its
// sync() writes with the platform's own calls.
#include "platform/FileIO.h"

namespace purgo::platform {

DescriptorOutputBuffer::int_type DescriptorOutputBuffer::overflow(int_type c) {
  if (sync() != 0) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

}  // namespace purgo::platform
