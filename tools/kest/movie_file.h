// A KEST movie read from its file one record at a time and checked by the
// core's reader, so that memory stays the same whatever the movie's length.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "format/movie_reader.h"

namespace kest::tool {

class MovieFile {
public:
    // How much of every record the opening check reads: the frame headers
    // and audio lengths (a few bytes a record), or every byte, fill included.
    enum class Check { Records, Everything };

    // Throws ToolError when the file cannot be opened or read; the report
    // says whether its content can. A file that does not start as a movie
    // is not read past its header.
    MovieFile(const std::string& path, Check check);

    const std::string& Path() const { return path_; }
    const MovieReport& Report() const { return report_; }
    const MovieLayout& Layout() const { return report_.layout; }
    // False when the file does not even start like a movie: wrong magic or
    // shorter than the header, so its fields mean nothing.
    bool LooksLikeMovie() const;

    // Throws ToolError with the reader's first error unless frames can be read.
    void RequireReadable() const;

    // Frame `index`, read into this object's buffer: valid until the next
    // call. Throws ToolError when it cannot be read.
    const MovieFrame& Frame(uint64_t index);

private:
    void Read(uint64_t offset, uint8_t* to, std::size_t count);
    void CheckRecords(Check check);

    std::string path_;
    std::ifstream in_;
    MovieReport report_;
    std::vector<uint8_t> record_;
    MovieFrame frame_;
};

// Sample frames of sound the complete records carry, at the format's rate
// (the silent filler of a movie without sound counts as 15625 Hz ADPCM).
uint64_t MovieSoundSamples(const MovieLayout& layout);
int32_t MovieSoundRate(const MovieLayout& layout);
int32_t MovieSoundChannels(const MovieLayout& layout);

// The frame rate the sound implies (its samples spread over the frames), or
// 0 when the movie carries no sound to tell.
double MovieFrameRate(const MovieLayout& layout);

}  // namespace kest::tool
