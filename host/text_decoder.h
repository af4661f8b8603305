// The decoders behind OFENCODING::CreateDecoder (private to kxcom).
#pragma once

#include <cstddef>

#include "kxcom/encoding.h"

namespace kxcom::detail {

// UTF-8 in, validated UTF-8 out. With `legacy_fallback` every byte that is
// not part of a valid UTF-8 sequence is read as Windows-1252 instead of
// becoming U+FFFD.
TextDecoder* MakeUtf8Decoder(unsigned int chunk_size, bool legacy_fallback);

// Any other encoding, through iconv. `from` is the iconv name and `unit` the
// size of its code unit in bytes: an invalid sequence is replaced and skipped
// one unit at a time.
TextDecoder* MakeIconvDecoder(unsigned int chunk_size, const char* from, std::size_t unit);

}  // namespace kxcom::detail
