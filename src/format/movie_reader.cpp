#include "format/movie_reader.h"

#include <cstring>

#include "base/big_endian.h"
#include "format/movie_format.h"

namespace kest {
namespace {

constexpr uint32_t kScreenWidth = 512;  // pixels a line, 1024 bytes
constexpr uint32_t kScreenLines = 512;
constexpr uint64_t kRecordFixedBytes = kFrameHeaderSize + 2;  // frame header and audioLength

std::string Num(uint64_t value) { return std::to_string(value); }

std::string Hex(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const unsigned nibble = (value >> shift) & 15;
        if (nibble || started || shift == 0) {
            text += digits[nibble];
            started = true;
        }
    }
    return text;
}

MovieFrameHeader ParseFrameHeader(const uint8_t* at) {
    MovieFrameHeader h;
    h.destAddress = GetBigEndian32(at);
    h.width = GetBigEndian16(at + 4);
    h.height = GetBigEndian16(at + 6);
    h.linePitch = GetBigEndian32(at + 8);
    h.reserved = GetBigEndian32(at + 12);
    return h;
}

bool SameFrameHeader(const MovieFrameHeader& a, const MovieFrameHeader& b) {
    return a.destAddress == b.destAddress && a.width == b.width && a.height == b.height &&
           a.linePitch == b.linePitch && a.reserved == b.reserved;
}

void CheckHeaderFields(const uint8_t* bytes, MovieReport& report) {
    MovieLayout& m = report.layout;
    if (std::memcmp(bytes, "KEST-V3.0", 10) == 0) m.version = 30;
    else if (std::memcmp(bytes, "KEST-V4.0", 10) == 0) m.version = 40;
    else report.errors.push_back("not a KEST movie: the first 10 bytes are not \"KEST-V3.0\" or \"KEST-V4.0\" and a zero byte");

    m.width = GetBigEndian32(bytes + header_offset::kWidth);
    m.height = GetBigEndian32(bytes + header_offset::kHeight);
    m.ticksMin = GetBigEndian32(bytes + header_offset::kTicksMin);
    m.ticksMax = GetBigEndian32(bytes + header_offset::kTicksMax);
    m.audioCode = GetBigEndian32(bytes + header_offset::kAudioCode);
    m.blockSize = GetBigEndian32(bytes + header_offset::kBlockSize);
    m.headerSize = GetBigEndian32(bytes + header_offset::kHeaderSize);
    m.commentTag = bytes[header_offset::kCommentTag] == 0x43 && bytes[header_offset::kCommentTag + 1] == 0x4D;

    const auto* comment = reinterpret_cast<const char*>(bytes + header_offset::kComment);
    const std::size_t commentRoom = kMovieHeaderSize - header_offset::kComment;
    const std::size_t commentLength = strnlen(comment, commentRoom);
    m.comment.assign(comment, commentLength);

    if (m.headerSize != kMovieHeaderSize)
        report.errors.push_back("header size is " + Num(m.headerSize) + ", not 1024");
    if (m.width == 0 || m.width > kScreenWidth)
        report.errors.push_back("picture width " + Num(m.width) + " is not within 1-512");
    else if (m.width % 4 != 0)
        report.warnings.push_back("picture width " + Num(m.width) + " is not a multiple of 4");
    if (m.height == 0 || m.height > kScreenLines)
        report.errors.push_back("picture height " + Num(m.height) + " is not within 1-512");
    m.pictureBytes = static_cast<uint64_t>(m.width) * m.height * 2;

    const uint64_t needed = kRecordFixedBytes + m.pictureBytes;
    if (m.blockSize < needed)
        report.errors.push_back("block size " + Num(m.blockSize) + " is too small for a " + Num(m.width) + " x " +
                                Num(m.height) + " picture (at least " + Num(needed) + " bytes)");
    else if (m.blockSize % 1024 != 0)
        report.warnings.push_back("block size " + Num(m.blockSize) + " is not a multiple of 1024");

    if (!m.commentTag) report.warnings.push_back("comment tag (bytes 38-39) is not \"CM\"");
    if (commentLength == commentRoom) {
        report.warnings.push_back("comment has no terminating zero byte");
    } else {
        for (std::size_t i = commentLength + 1; i < commentRoom; ++i)
            if (comment[i] != 0) {
                report.warnings.push_back("header bytes after the comment's zero byte are not all zero");
                break;
            }
    }
    if (m.ticksMin == 0 || m.ticksMax == 0)
        report.warnings.push_back("frame tick counts " + Num(m.ticksMin) + "-" + Num(m.ticksMax) + " include 0");
    else if (m.ticksMax < m.ticksMin || m.ticksMax - m.ticksMin > 1)
        report.warnings.push_back("frame tick counts " + Num(m.ticksMin) + "-" + Num(m.ticksMax) +
                                  " are not a rounded-down and rounded-up pair");

    m.audioFormatIndex = AudioFormatIndexOfCode(m.audioCode);
    if (m.audioCode != 0 && m.audioFormatIndex < 0) {
        report.warnings.push_back("unknown audio code " + Hex(m.audioCode));
    } else if (m.version != 0) {
        const int32_t codeVersion = m.audioCode == 0 ? 30 : kAudioFormats[m.audioFormatIndex].version;
        if (codeVersion != m.version)
            report.warnings.push_back("audio code " + Hex(m.audioCode) + " needs magic \"KEST-V" +
                                      (codeVersion == 40 ? "4.0" : "3.0") + "\"");
    }
}

void CheckFrameHeader(const MovieFrameHeader& h, MovieReport& report) {
    MovieLayout& m = report.layout;
    if (h.width != m.width || h.height != m.height)
        report.warnings.push_back("frame header's picture size " + Num(h.width) + " x " + Num(h.height) +
                                  " differs from the movie header's " + Num(m.width) + " x " + Num(m.height));
    if (h.linePitch != 1024 && h.linePitch != 2048)
        report.warnings.push_back("line pitch " + Num(h.linePitch) + " is neither 1024 nor 2048");
    if (h.reserved != 0) report.warnings.push_back("frame header's reserved word is " + Hex(h.reserved) + ", not 0");
    if (h.destAddress < kScreenBase || h.destAddress % 2 != 0) {
        report.warnings.push_back("destination address " + Hex(h.destAddress) + " is not a pixel of the screen at " +
                                  Hex(kScreenBase));
        return;
    }
    const uint32_t offset = h.destAddress - kScreenBase;
    m.screenX = (offset % 1024) / 2;
    m.screenY = offset / 1024;
    const uint64_t pitchLines = h.linePitch >= 1024 ? h.linePitch / 1024 : 1;
    const uint64_t lastLine = m.screenY + (m.height ? (m.height - 1) * pitchLines : 0);
    if (m.screenX + m.width > kScreenWidth || lastLine >= kScreenLines)
        report.warnings.push_back("the picture at (" + Num(m.screenX) + ", " + Num(m.screenY) +
                                  ") reaches past the 512 x 512 screen");
}

}  // namespace

MovieReport InspectMovieHead(const uint8_t* bytes, std::size_t size, uint64_t fileSize) {
    MovieReport report;
    MovieLayout& m = report.layout;
    m.fileSize = fileSize;
    if (!bytes || size < static_cast<std::size_t>(kMovieHeaderSize) || fileSize < kMovieHeaderSize) {
        report.errors.push_back("file is " + Num(fileSize) + " bytes, shorter than the 1024-byte header");
        return report;
    }
    CheckHeaderFields(bytes, report);
    if (!report.errors.empty()) return report;

    const uint64_t body = fileSize - static_cast<uint64_t>(kMovieHeaderSize);
    m.frameCount = body / m.blockSize;
    m.trailingBytes = body % m.blockSize;
    if (m.trailingBytes != 0)
        report.warnings.push_back("the file ends inside a record: " + Num(m.trailingBytes) + " bytes after frame " +
                                  Num(m.frameCount) + " (an export that stopped while writing)");
    if (m.frameCount == 0) {
        report.warnings.push_back("the movie holds no complete frame");
        report.readable = true;
        return report;
    }
    if (size - kMovieHeaderSize < kFrameHeaderSize) {
        report.errors.push_back("the first record's frame header was not read");
        return report;
    }
    m.frameHeader = ParseFrameHeader(bytes + kMovieHeaderSize);
    CheckFrameHeader(m.frameHeader, report);
    report.readable = true;
    return report;
}

void CheckMovieRecord(const MovieLayout& m, uint64_t index, const uint8_t* record, std::size_t size,
                      MovieRecordTally& tally) {
    const uint64_t fixed = kRecordFixedBytes + m.pictureBytes;
    if (!record || size < fixed || m.blockSize < fixed) return;
    if (!SameFrameHeader(ParseFrameHeader(record), m.frameHeader) && tally.differingHeaders++ == 0)
        tally.firstDiffering = index;
    const uint32_t audioLength = GetBigEndian16(record + kFrameHeaderSize + m.pictureBytes);
    if (audioLength > m.blockSize - fixed) {
        if (tally.overlong++ == 0) tally.firstOverlong = index;
        return;
    }
    tally.audioBytes += audioLength;
    // PCM is stored in whole sample frames: a stray byte would swap the
    // channels (or split a sample) for the rest of the movie.
    if (m.audioFormatIndex >= 0 && kAudioFormats[m.audioFormatIndex].version == 40) {
        const uint32_t frameBytes = kAudioFormats[m.audioFormatIndex].stereo ? 4 : 2;
        if (audioLength % frameBytes != 0 && tally.splitSamples++ == 0) {
            tally.firstSplit = index;
            tally.firstSplitLength = audioLength;
        }
    }
    const uint64_t end = size < m.blockSize ? size : m.blockSize;
    for (uint64_t i = fixed + audioLength; i < end; ++i)
        if (record[i] != 0) {
            if (tally.dirtyFill++ == 0) tally.firstDirtyFill = index;
            break;
        }
}

void FinishMovieReport(const MovieRecordTally& tally, MovieReport& report) {
    MovieLayout& m = report.layout;
    m.audioBytes = tally.audioBytes;
    if (tally.differingHeaders)
        report.warnings.push_back(Num(tally.differingHeaders) + " frame header(s) differ from frame 0's, first at frame " +
                                  Num(tally.firstDiffering));
    if (tally.overlong)
        report.warnings.push_back(Num(tally.overlong) + " frame(s) have an audio length past the end of their record (room: " +
                                  Num(m.blockSize - kRecordFixedBytes - m.pictureBytes) + " bytes), first at frame " +
                                  Num(tally.firstOverlong));
    if (tally.splitSamples) {
        const bool stereo = kAudioFormats[m.audioFormatIndex].stereo;
        report.warnings.push_back(Num(tally.splitSamples) + " frame(s) carry PCM sound that is not whole " +
                                  (stereo ? "stereo sample frames (a multiple of 4 bytes)" : "samples (a multiple of 2 bytes)") +
                                  ", first frame " + Num(tally.firstSplit) + " with " + Num(tally.firstSplitLength) + " bytes");
    }
    if (tally.dirtyFill)
        report.warnings.push_back(Num(tally.dirtyFill) + " record(s) have fill after the sound that is not all zero, first at frame " +
                                  Num(tally.firstDirtyFill));
}

MovieReport InspectMovie(const uint8_t* bytes, std::size_t size) {
    MovieReport report = InspectMovieHead(bytes, size, size);
    if (!report.readable) return report;
    const MovieLayout& m = report.layout;
    MovieRecordTally tally;
    for (uint64_t j = 0; j < m.frameCount; ++j)
        CheckMovieRecord(m, j, bytes + kMovieHeaderSize + j * m.blockSize, m.blockSize, tally);
    FinishMovieReport(tally, report);
    return report;
}

bool ReadMovieFrame(const MovieLayout& layout, const uint8_t* bytes, std::size_t size, uint64_t index,
                    MovieFrame& frame, std::string& why) {
    // Re-check what InspectMovie established, so that a layout that does not
    // belong to these bytes cannot lead a read astray.
    const uint64_t needed = kRecordFixedBytes + layout.pictureBytes;
    if (!bytes || layout.blockSize < needed || layout.pictureBytes != uint64_t{layout.width} * layout.height * 2) {
        why = "the movie's layout is not readable";
        return false;
    }
    if (index >= layout.frameCount) {
        why = "frame " + Num(index) + " does not exist: the movie holds " + Num(layout.frameCount) + " complete frame(s)";
        return false;
    }
    const uint64_t start = kMovieHeaderSize + index * uint64_t{layout.blockSize};
    if (start > size || size - start < layout.blockSize) {
        why = "frame " + Num(index) + " lies past the end of the file";
        return false;
    }
    return ReadMovieRecord(layout, bytes + start, layout.blockSize, index, frame, why);
}

bool ReadMovieRecord(const MovieLayout& layout, const uint8_t* record, std::size_t size, uint64_t index,
                     MovieFrame& frame, std::string& why) {
    const uint64_t needed = kRecordFixedBytes + layout.pictureBytes;
    if (!record || size < needed || layout.blockSize < needed ||
        layout.pictureBytes != uint64_t{layout.width} * layout.height * 2) {
        why = "frame " + Num(index) + "'s record is not readable";
        return false;
    }
    frame.header = ParseFrameHeader(record);
    frame.picture = record + kFrameHeaderSize;
    frame.audioLength = GetBigEndian16(record + kFrameHeaderSize + layout.pictureBytes);
    frame.audio = record + needed;
    if (frame.audioLength > layout.blockSize - needed || frame.audioLength > size - needed) {
        why = "frame " + Num(index) + "'s audio length " + Num(frame.audioLength) + " runs past its record";
        return false;
    }
    return true;
}

}  // namespace kest
