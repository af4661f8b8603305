// Placeholder until the encodings land: UTF-8 only, passed through.
#include "kxcom/encoding.h"

TextDecoder::~TextDecoder() = default;

const OFENCODING OFENCODING::UTF8{1, "UTF-8", 3};
const OFENCODING OFENCODING::UTF16LE{2, "UTF-16LE", 2};
const OFENCODING OFENCODING::UTF16BE{3, "UTF-16BE", 2};
const OFENCODING OFENCODING::UTF32LE{4, "UTF-32LE", 4};
const OFENCODING OFENCODING::UTF32BE{5, "UTF-32BE", 4};
const OFENCODING OFENCODING::WINDOWS1252{6, "WINDOWS-1252", 0};

const OFENCODING& OFENCODING::GetFromBuf(bool& has_bom, const unsigned char*, unsigned int) noexcept {
  has_bom = false;
  return UTF8;
}

TextDecoder* OFENCODING::CreateDecoder(unsigned int) const noexcept { return nullptr; }
