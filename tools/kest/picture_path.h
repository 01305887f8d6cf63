// The pictures' way from the decoder to the export, on FFmpeg's filters the
// way its own tool builds it: deinterlacing, the constant output rate
// (repeating and dropping pictures by time), turning the picture as its
// display matrix says, scaling to the export's size with square pixels, and
// 24-bit BGR.
#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

#include <cstdint>
#include <string>

#include "av_handles.h"

namespace kest::tool {

enum class Deinterlace { Off, Flagged, All };

struct PicturePathSettings {
    int32_t width = 0, height = 0;  // the export's picture
    AVRational rate{25, 1};         // output frames per second
    AVRational timeBase{1, 25};     // of the timestamps fed in
    std::string turn;               // filters that turn the picture upright, or empty
    Deinterlace deinterlace = Deinterlace::Off;
    int threads = 0;                // the filters' threads; 0: FFmpeg's choice
};

// The filters that show a picture stored with `displayMatrix` (null: none)
// upright, as FFmpeg's tool does by default; empty when it is upright. Sets
// `degrees` to the clockwise turn and `sidesSwap` when width and height trade places.
std::string TurnFilters(const int32_t* displayMatrix, int& degrees, bool& sidesSwap);

class PicturePath {
public:
    explicit PicturePath(const PicturePathSettings& settings) : settings_(settings) {}

    // Hands on a decoded picture, its pts in the settings' time base counted
    // from the first output frame; takes its data. An empty string, or why
    // the pictures cannot go on.
    std::string Feed(AVFrame* frame);
    // No more pictures; the last one lasts until `endPts`.
    std::string End(int64_t endPts);

    enum class Result { Picture, Hungry, Ended, Failed };
    // The next output frame into `out` (BGR24, top row first, pts = its
    // index), or Hungry when it needs more pictures fed first.
    Result Next(AVFrame* out, std::string& failure);

private:
    std::string Build(const AVFrame& first);

    PicturePathSettings settings_;
    AvFilterGraph graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    bool ended_ = false;
};

}  // namespace kest::tool
