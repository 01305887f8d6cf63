#include "wav_writer.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstdio>

#include "av_handles.h"
#include "tool_error.h"

namespace kest::tool {

void WriteWav(const std::string& file, const std::string& path, const MovieSound& sound) {
    AVFormatContext* raw = nullptr;
    int r = avformat_alloc_output_context2(&raw, nullptr, "wav", file.c_str());
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));
    AvOutput output(raw);
    AVStream* stream = Allocated(avformat_new_stream(output.get(), nullptr), "sound stream");
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    stream->codecpar->sample_rate = sound.rate;
    av_channel_layout_default(&stream->codecpar->ch_layout, sound.channels);
    stream->codecpar->bits_per_coded_sample = 16;
    stream->codecpar->block_align = 2 * sound.channels;
    stream->codecpar->bit_rate = int64_t{sound.rate} * sound.channels * 16;
    stream->time_base = AVRational{1, sound.rate};

    r = avio_open(&output->pb, file.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) throw ToolError("cannot create " + path + ": " + AvErrorText(r));
    r = avformat_write_header(output.get(), nullptr);
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));

    const std::size_t channels = static_cast<std::size_t>(sound.channels);
    const std::size_t frames = sound.samples.size() / channels;
    constexpr std::size_t kChunk = 4096;
    AvPacket packet = CheckedPacket();
    for (std::size_t at = 0; at < frames && r >= 0; at += kChunk) {
        const std::size_t n = std::min(kChunk, frames - at);
        r = av_new_packet(packet.get(), static_cast<int>(n * channels * 2));
        if (r < 0) break;
        for (std::size_t i = 0; i < n * channels; ++i) {  // little-endian whatever the machine
            const auto v = static_cast<uint16_t>(sound.samples[at * channels + i]);
            packet->data[2 * i] = static_cast<uint8_t>(v);
            packet->data[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        packet->stream_index = stream->index;
        packet->pts = packet->dts = av_rescale_q(static_cast<int64_t>(at), AVRational{1, sound.rate}, stream->time_base);
        packet->duration = av_rescale_q(static_cast<int64_t>(n), AVRational{1, sound.rate}, stream->time_base);
        r = av_write_frame(output.get(), packet.get());
        av_packet_unref(packet.get());
    }
    if (r >= 0) r = av_write_trailer(output.get());
    if (r >= 0) r = output->pb->error;
    if (r >= 0) r = avio_closep(&output->pb);
    if (r < 0) throw ToolError("writing " + path + " failed: " + AvErrorText(r));
}

}  // namespace kest::tool
