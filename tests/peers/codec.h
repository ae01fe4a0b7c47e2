// The test peers speak the line with the wholesaler's side of the line codec (tools/linecodec), written from
// the line's published description and not from the client's code, so the session tests check the client
// against an independent reading of it.
#pragma once

#include "tools/linecodec/line_codec.h"

namespace morven::peers {

using linecodec::ComputeFrameSums;
using linecodec::ComputeRecordSums;
using linecodec::DecodeLine;
using linecodec::EncodeLine;
using linecodec::Frame;
using linecodec::FrameSums;
using linecodec::FrameWithBadSums;
using linecodec::Record;
using linecodec::RecordSums;
using linecodec::RecordWithBadSums;
using linecodec::Shift;
using linecodec::Unframe;
using linecodec::Unrecord;
using linecodec::Unshift;

}  // namespace morven::peers
