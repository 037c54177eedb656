// Extra compression helpers for SWF test movies: LZMA data the way some SWF writers store it.
#pragma once

#include "support/swf_builder.h"

namespace testswf {

// Raw LZMA1 data as "ZWS" stores it (5 property bytes, then the stream) but without the end marker:
// the decoder must stop at the uncompressed size the header declares.
Bytes lzmaCompressForSwfNoEndMarker(const Bytes& in);

// A complete "ZWS" movie whose body (everything after the 8-byte header) is `body`, LZMA-compressed with or
// without the end marker. declaredLength 0 means the true length (8 + body size).
Bytes makeZws(const Bytes& body, bool endMarker, uint8_t version = 13, uint32_t declaredLength = 0);

// A complete "CWS" movie of `body`; declaredLength 0 means the true length.
Bytes makeCws(const Bytes& body, uint8_t version = 10, uint32_t declaredLength = 0);

}  // namespace testswf
