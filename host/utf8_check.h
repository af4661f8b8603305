// Whether a run of bytes is UTF-8 as it stands, checked 32 bytes at a time
// where the processor has AVX2: a chunk of a script file that passes is
// handed on uncopied; any other goes to the decoder's byte-by-byte path,
// which finds what to replace.
#pragma once

#include <cstddef>

namespace kxcom::detail {

// True when p[0, n) is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF) and ends at the end of a character. False also
// where the processor cannot check quickly: the caller then checks itself.
bool IsWholeUtf8Fast(const unsigned char* p, std::size_t n) noexcept;

}  // namespace kxcom::detail
