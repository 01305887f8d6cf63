// Reads and checks a KEST movie held in memory. Every offset is checked
// against the buffer before it is read, so any sequence of bytes is safe to
// hand in: the result says what is wrong with it, never more.
//
// A movie is readable when its header names a picture that fits the player's
// 512 x 512 screen and a block size that holds that picture; frames can then
// be taken one by one with ReadMovieFrame. Everything else that differs from
// what the export writes is reported as a warning and reading goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "picture/pixel16.h"
#include "sound/audio_format.h"

namespace kest {

struct MovieFrameHeader {
    uint32_t destAddress = 0;
    uint32_t width = 0;   // 16-bit in the file
    uint32_t height = 0;  // 16-bit in the file
    uint32_t linePitch = 0;
    uint32_t reserved = 0;
};

struct MovieLayout {
    int32_t version = 0;  // 30 ("KEST-V3.0"), 40 ("KEST-V4.0"), 0 unknown magic
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t ticksMin = 0;
    uint32_t ticksMax = 0;
    uint32_t audioCode = 0;
    uint32_t blockSize = 0;
    uint32_t headerSize = 0;
    bool commentTag = false;  // bytes 38-39 are "CM"
    std::string comment;      // up to its zero byte, at most 984 bytes

    uint64_t fileSize = 0;
    uint64_t frameCount = 0;     // complete records
    uint64_t trailingBytes = 0;  // bytes of a partial last record
    uint64_t pictureBytes = 0;   // width * height * 2
    uint64_t audioBytes = 0;     // sum of the complete records' audio lengths

    // The format the audio code names; -1 for code 0 (silent filler) or an
    // unknown code.
    int32_t audioFormatIndex = -1;
    MovieFrameHeader frameHeader;  // the first record's, when there is one

    // Screen position of the top-left pixel, from the first frame header.
    uint32_t screenX = 0;
    uint32_t screenY = 0;
};

struct MovieReport {
    bool readable = false;  // frames can be read; errors is empty
    MovieLayout layout;
    std::vector<std::string> errors;    // why the movie cannot be read
    std::vector<std::string> warnings;  // departures from what the export writes
};

// Checks the header and every record's frame header, audio length and fill.
// Frames are not decoded.
MovieReport InspectMovie(const uint8_t* bytes, std::size_t size);

// The same checks for a movie read piece by piece, so that its length does
// not matter: InspectMovieHead checks the header from the file's first
// `size` bytes (the header and, when there is a record, its frame header)
// and takes the record count from `fileSize`; each record then goes through
// CheckMovieRecord, with at least its frame header, picture and audio length
// in `record` (the fill is checked as far as `size` reaches), and
// FinishMovieReport adds what the records showed.
MovieReport InspectMovieHead(const uint8_t* bytes, std::size_t size, uint64_t fileSize);

struct MovieRecordTally {
    uint64_t audioBytes = 0;
    uint64_t differingHeaders = 0, firstDiffering = 0;
    uint64_t overlong = 0, firstOverlong = 0;
    uint64_t splitSamples = 0, firstSplit = 0, firstSplitLength = 0;  // PCM not in whole sample frames
    uint64_t dirtyFill = 0, firstDirtyFill = 0;
};
void CheckMovieRecord(const MovieLayout& layout, uint64_t index, const uint8_t* record, std::size_t size,
                      MovieRecordTally& tally);
void FinishMovieReport(const MovieRecordTally& tally, MovieReport& report);

struct MovieFrame {
    MovieFrameHeader header;
    const uint8_t* picture = nullptr;  // layout.height rows of layout.width big-endian words
    uint32_t audioLength = 0;
    const uint8_t* audio = nullptr;    // audioLength bytes, all inside the record
};

// Frame `index` of a readable movie; false with `why` set when the index is
// past the last complete record or the record's audio length overruns it.
bool ReadMovieFrame(const MovieLayout& layout, const uint8_t* bytes, std::size_t size, uint64_t index,
                    MovieFrame& frame, std::string& why);

// The same from one record alone, held in `record` as far as `size` bytes
// (at least the frame header, the picture, the audio length and the audio).
bool ReadMovieRecord(const MovieLayout& layout, const uint8_t* record, std::size_t size, uint64_t index,
                     MovieFrame& frame, std::string& why);

}  // namespace kest
