#include "movie_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/big_endian.h"
#include "format/movie_format.h"
#include "sound/audio_format.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

constexpr uint64_t kRecordFixedBytes = kFrameHeaderSize + 2;  // frame header and audio length
// A record is read whole up to this size; the fill of a larger one (which
// the export never writes: its fill is below 1032 bytes) is read in pieces.
constexpr std::size_t kWholeRecordLimit = 1u << 20;

}  // namespace

MovieFile::MovieFile(const std::string& path, Check check) : path_(path) {
    in_.open(path, std::ios::binary);
    if (!in_) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    const uint64_t size = regular ? std::filesystem::file_size(path, error) : 0;
    if (error) throw ToolError("cannot read " + path + ": " + error.message());

    // The header and the first record's frame header say what the rest is.
    uint8_t head[kMovieHeaderSize + kFrameHeaderSize];
    in_.read(reinterpret_cast<char*>(head), sizeof head);
    if (in_.bad()) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    const auto got = static_cast<std::size_t>(in_.gcount());
    in_.clear();
    report_ = InspectMovieHead(head, got, regular ? size : got);
    if (!report_.readable) return;
    if (!regular) throw ToolError(path + " is not a regular file: kest reads movies from files it can seek in");
    CheckRecords(check);
}

bool MovieFile::LooksLikeMovie() const { return Layout().fileSize >= kMovieHeaderSize && Layout().version != 0; }

void MovieFile::RequireReadable() const {
    if (!report_.readable) throw ToolError(path_ + ": " + report_.errors.front());
}

void MovieFile::Read(uint64_t offset, uint8_t* to, std::size_t count) {
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(count));
    if (!in_ || static_cast<std::size_t>(in_.gcount()) != count) {
        in_.clear();
        throw ToolError("cannot read " + path_ + " at byte " + std::to_string(offset) + ": the file changed or failed");
    }
}

void MovieFile::CheckRecords(Check check) {
    const MovieLayout& m = Layout();
    const uint64_t fixed = kRecordFixedBytes + m.pictureBytes;
    const std::size_t piece = static_cast<std::size_t>(std::min<uint64_t>(m.blockSize, std::max<uint64_t>(fixed, kWholeRecordLimit)));
    MovieRecordTally tally;
    if (check == Check::Records) {
        // Only the words the checks look at; the picture stays zero.
        record_.assign(static_cast<std::size_t>(fixed), 0);
        for (uint64_t j = 0; j < m.frameCount; ++j) {
            const uint64_t at = kMovieHeaderSize + j * m.blockSize;
            Read(at, record_.data(), kFrameHeaderSize);
            Read(at + kFrameHeaderSize + m.pictureBytes, record_.data() + fixed - 2, 2);
            CheckMovieRecord(m, j, record_.data(), record_.size(), tally);
        }
    } else {
        record_.resize(piece);
        std::vector<uint8_t> rest;
        for (uint64_t j = 0; j < m.frameCount; ++j) {
            const uint64_t at = kMovieHeaderSize + j * m.blockSize;
            Read(at, record_.data(), piece);
            const uint64_t dirty = tally.dirtyFill, overlong = tally.overlong;
            CheckMovieRecord(m, j, record_.data(), piece, tally);
            for (uint64_t done = piece; done < m.blockSize && tally.dirtyFill == dirty && tally.overlong == overlong;) {
                rest.resize(static_cast<std::size_t>(std::min<uint64_t>(m.blockSize - done, kWholeRecordLimit)));
                Read(at + done, rest.data(), rest.size());
                if (std::any_of(rest.begin(), rest.end(), [](uint8_t b) { return b != 0; }) && tally.dirtyFill++ == 0)
                    tally.firstDirtyFill = j;
                done += rest.size();
            }
        }
    }
    FinishMovieReport(tally, report_);
}

const MovieFrame& MovieFile::Frame(uint64_t index) {
    RequireReadable();
    const MovieLayout& m = Layout();
    if (index >= m.frameCount)
        throw ToolError(path_ + ": frame " + std::to_string(index) + " does not exist: the movie holds " +
                        std::to_string(m.frameCount) + " complete frame(s)");
    const uint64_t fixed = kRecordFixedBytes + m.pictureBytes;
    const uint64_t at = kMovieHeaderSize + index * m.blockSize;
    record_.resize(static_cast<std::size_t>(fixed + 0xFFFF));
    Read(at, record_.data(), static_cast<std::size_t>(fixed));
    const uint32_t audioLength = GetBigEndian16(record_.data() + fixed - 2);
    // The read stays inside the record even when the length says otherwise;
    // the core's check then refuses the frame.
    const auto audio = static_cast<std::size_t>(std::min<uint64_t>(audioLength, m.blockSize - fixed));
    Read(at + fixed, record_.data() + fixed, audio);
    std::string why;
    if (!ReadMovieRecord(m, record_.data(), static_cast<std::size_t>(fixed) + audio, index, frame_, why))
        throw ToolError(path_ + ": " + why);
    return frame_;
}

int32_t MovieSoundRate(const MovieLayout& layout) {
    return layout.audioFormatIndex >= 0 ? kAudioFormats[layout.audioFormatIndex].sampleRate : 15625;
}

int32_t MovieSoundChannels(const MovieLayout& layout) {
    return layout.audioFormatIndex >= 0 && kAudioFormats[layout.audioFormatIndex].stereo ? 2 : 1;
}

uint64_t MovieSoundSamples(const MovieLayout& layout) {
    const bool pcm = layout.audioFormatIndex >= 0 && kAudioFormats[layout.audioFormatIndex].version == 40;
    return pcm ? layout.audioBytes / (2u * static_cast<unsigned>(MovieSoundChannels(layout))) : layout.audioBytes * 2;
}

double MovieFrameRate(const MovieLayout& layout) {
    const uint64_t samples = MovieSoundSamples(layout);
    if (samples == 0 || layout.frameCount == 0) return 0;
    if (layout.audioCode != 0 && layout.audioFormatIndex < 0) return 0;
    return static_cast<double>(MovieSoundRate(layout)) * static_cast<double>(layout.frameCount) / static_cast<double>(samples);
}

}  // namespace kest::tool
