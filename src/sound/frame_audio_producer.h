// The sound side as the export driver sees it: once per export Begin, then
// one ProduceFrame per frame in order, then End.
#pragma once

#include "plugin/host_records.h"
#include "sound/audio_bytes.h"
#include "sound/audio_format.h"

namespace kest::FrameAudioProducer {

// Chooses the format, spreads the samples over the frames, takes the filler
// buffer and, with host audio, starts the pipeline. False when memory could
// not be obtained; End must still be called.
bool Begin(const OutputInfo& info, int32_t audioFormatIndex);

// The plan Begin made (valid until the next Begin).
const AudioPlan& Plan();

// The next frame's payload; never more than Plan().maxAudioBytes bytes.
AudioBytes ProduceFrame();

// Releases everything Begin obtained, also after a Begin that failed; a code
// still pending is dropped.
void End();

}  // namespace kest::FrameAudioProducer
