#pragma once

#include "MidiWriter.h"
#include "Style.h"

// A style laid out as a RIFF 'DMST' the way the authoring tools write one; a pattern's
// references name their parts by GUID (a reference past the parts names a GUID no part has).
// The older layout has the shorter headers and items, and its references carry the PChannel
// in the logical part ID.
// `guid` is the style's own; `more` are further chunks of the form, a band say.
Bytes writeStyle(const Style& style, bool olderLayout = false, const Bytes& guid = Bytes(16, 0x5A),
                 const std::vector<Bytes>& more = {});

// A small style: a bass part in chord mode with a curve, a drum part of fixed notes, and a
// groove pattern and a two-measure fill playing them, the drums on PChannel 9.
Style exampleStyle();
