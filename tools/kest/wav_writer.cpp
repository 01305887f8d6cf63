#include "wav_writer.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstdio>

#include "av_handles.h"
#include "tool_error.h"

namespace kest::tool {

uint64_t WriteWav(const std::string& file, const std::string& path, int32_t rate, int32_t channels,
                  const std::function<bool(std::vector<int16_t>&)>& next) {
    AVFormatContext* raw = nullptr;
    int r = avformat_alloc_output_context2(&raw, nullptr, "wav", file.c_str());
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));
    AvOutput output(raw);
    AVStream* stream = Allocated(avformat_new_stream(output.get(), nullptr), "sound stream");
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    stream->codecpar->sample_rate = rate;
    av_channel_layout_default(&stream->codecpar->ch_layout, channels);
    stream->codecpar->bits_per_coded_sample = 16;
    stream->codecpar->block_align = 2 * channels;
    stream->codecpar->bit_rate = int64_t{rate} * channels * 16;
    stream->time_base = AVRational{1, rate};

    r = avio_open(&output->pb, file.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) throw ToolError("cannot create " + path + ": " + AvErrorText(r));
    r = avformat_write_header(output.get(), nullptr);
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));

    AvPacket packet = CheckedPacket();
    std::vector<int16_t> samples;
    uint64_t at = 0;  // sample frames written
    while (r >= 0 && next(samples)) {
        const std::size_t n = samples.size() / static_cast<std::size_t>(channels);
        if (n == 0) continue;
        r = av_new_packet(packet.get(), static_cast<int>(n * static_cast<std::size_t>(channels) * 2));
        if (r < 0) break;
        for (std::size_t i = 0; i < n * static_cast<std::size_t>(channels); ++i) {  // little-endian whatever the machine
            const auto v = static_cast<uint16_t>(samples[i]);
            packet->data[2 * i] = static_cast<uint8_t>(v);
            packet->data[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        packet->stream_index = stream->index;
        packet->pts = packet->dts = av_rescale_q(static_cast<int64_t>(at), AVRational{1, rate}, stream->time_base);
        packet->duration = av_rescale_q(static_cast<int64_t>(n), AVRational{1, rate}, stream->time_base);
        r = av_write_frame(output.get(), packet.get());
        av_packet_unref(packet.get());
        at += n;
    }
    if (r >= 0) r = av_write_trailer(output.get());
    if (r >= 0) r = output->pb->error;
    if (r >= 0) r = avio_closep(&output->pb);
    if (r < 0) throw ToolError("writing " + path + " failed: " + AvErrorText(r));
    return at;
}

}  // namespace kest::tool
