#include "still_writer.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "av_handles.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

struct StillFormat {
    const char* extension;
    const char* encoder;
    AVPixelFormat pixels;  // what the encoder is handed
};

// WebP is lossless so that the picture stays the player's exactly; JPEG
// keeps full-resolution colour, since the pictures are small and sharp.
constexpr StillFormat kFormats[] = {
    {".png", "png", AV_PIX_FMT_RGB24},
    {".jpg", "mjpeg", AV_PIX_FMT_YUVJ444P},
    {".jpeg", "mjpeg", AV_PIX_FMT_YUVJ444P},
    {".webp", "libwebp", AV_PIX_FMT_RGB32},
};

const StillFormat* FormatOf(const std::string& name) {
    std::string extension = std::filesystem::path(name).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const StillFormat& f : kFormats)
        if (extension == f.extension) return &f;
    return nullptr;
}

const AVCodec* EncoderOf(const StillFormat& format) { return avcodec_find_encoder_by_name(format.encoder); }

}  // namespace

void CheckStillName(const std::string& option, const std::string& name) {
    const StillFormat* format = FormatOf(name);
    if (!format)
        throw UsageError(option + " " + name + ": a still picture is written as .png, .jpg (or .jpeg) or .webp; " +
                         "name the file with one of these");
    if (!EncoderOf(*format))
        throw ToolError("cannot write " + name + ": this FFmpeg has no " + format->encoder + " encoder; use .png");
}

void WriteStill(const std::string& file, const std::string& path, const RgbImage& image) {
    CheckStillName("", path);
    const StillFormat& format = *FormatOf(path);
    const AVCodec* encoder = EncoderOf(format);
    AvCodec codec(Allocated(avcodec_alloc_context3(encoder), "encoder"));
    codec->width = image.width;
    codec->height = image.height;
    codec->pix_fmt = format.pixels;
    codec->time_base = AVRational{1, 1};
    if (format.pixels == AV_PIX_FMT_YUVJ444P) {
        codec->color_range = AVCOL_RANGE_JPEG;
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = FF_QP2LAMBDA * 2;
    }
    if (std::strcmp(format.encoder, "libwebp") == 0) av_opt_set_int(codec->priv_data, "lossless", 1, 0);
    int r = avcodec_open2(codec.get(), encoder, nullptr);
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));

    AvFrame frame = CheckedFrame();
    frame->width = image.width;
    frame->height = image.height;
    frame->format = format.pixels;
    r = av_frame_get_buffer(frame.get(), 0);
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));
    if (format.pixels == AV_PIX_FMT_RGB24) {
        for (int32_t y = 0; y < image.height; ++y)
            std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                        image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3,
                        static_cast<std::size_t>(image.width) * 3);
    } else {
        const uint8_t* source[1] = {image.rgb.data()};
        const int sourceStride[1] = {image.width * 3};
        SwsHandle sws(Allocated(sws_getContext(image.width, image.height, AV_PIX_FMT_RGB24, image.width, image.height,
                                               format.pixels, SWS_POINT, nullptr, nullptr, nullptr),
                                "picture conversion"));
        sws_scale(sws.get(), source, sourceStride, 0, image.height, frame->data, frame->linesize);
    }

    AvPacket packet = CheckedPacket();
    r = avcodec_send_frame(codec.get(), frame.get());
    if (r >= 0) r = avcodec_send_frame(codec.get(), nullptr);
    if (r >= 0) r = avcodec_receive_packet(codec.get(), packet.get());
    if (r < 0) throw ToolError("cannot encode " + path + ": " + AvErrorText(r));

    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) throw ToolError("cannot create " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(packet->data, 1, static_cast<std::size_t>(packet->size), out) ==
                         static_cast<std::size_t>(packet->size);
    const int error = errno;
    if (std::fclose(out) != 0 || !written)
        throw ToolError("writing " + path + " failed: " + std::strerror(written ? errno : error));
}

}  // namespace kest::tool
