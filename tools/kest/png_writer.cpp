#include "png_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "av_handles.h"
#include "incomplete_output.h"
#include "tool_error.h"

namespace kest::tool {

void WritePng(const std::string& path, const RgbImage& image) {
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!encoder) throw ToolError("cannot write " + path + ": this FFmpeg has no PNG encoder");
    AvCodec codec(avcodec_alloc_context3(encoder));
    codec->width = image.width;
    codec->height = image.height;
    codec->pix_fmt = AV_PIX_FMT_RGB24;
    codec->time_base = AVRational{1, 1};
    int r = avcodec_open2(codec.get(), encoder, nullptr);
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));

    AvFrame frame = NewFrame();
    frame->width = image.width;
    frame->height = image.height;
    frame->format = AV_PIX_FMT_RGB24;
    r = av_frame_get_buffer(frame.get(), 0);
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));
    for (int32_t y = 0; y < image.height; ++y)
        std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                    image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3, static_cast<std::size_t>(image.width) * 3);

    AvPacket packet = NewPacket();
    r = avcodec_send_frame(codec.get(), frame.get());
    if (r >= 0) r = avcodec_send_frame(codec.get(), nullptr);
    if (r >= 0) r = avcodec_receive_packet(codec.get(), packet.get());
    if (r < 0) throw ToolError("cannot encode " + path + ": " + AvErrorText(r));

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw ToolError("cannot create " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(packet->data, 1, static_cast<std::size_t>(packet->size), file) ==
                         static_cast<std::size_t>(packet->size);
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        RemoveIncomplete(path);
        throw ToolError("writing " + path + " failed: " + std::strerror(written ? errno : error));
    }
}

}  // namespace kest::tool
