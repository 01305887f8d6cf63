#include "preview_writer.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "av_handles.h"
#include "player_screen.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

// Each container with the encoders it takes, best first. H.264 is found by
// name first, since a hardware wrapper may come first by codec id.
struct Container {
    const char* extension;
    const char* muxer;
    const char* videoNames[3];
    AVCodecID videoIds[2];
    AVCodecID audioIds[3];  // AV_CODEC_ID_NONE: the container carries no sound
};

constexpr Container kContainers[] = {
    {".mp4", "mp4", {"libx264"}, {AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4}, {AV_CODEC_ID_AAC, AV_CODEC_ID_MP3, AV_CODEC_ID_MP2}},
    {".mov", "mov", {"libx264"}, {AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4}, {AV_CODEC_ID_AAC, AV_CODEC_ID_MP3}},
    {".mkv", "matroska", {"libx264"}, {AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4}, {AV_CODEC_ID_AAC, AV_CODEC_ID_OPUS, AV_CODEC_ID_MP3}},
    {".webm", "webm", {"libvpx-vp9", "libvpx"}, {AV_CODEC_ID_VP9, AV_CODEC_ID_VP8}, {AV_CODEC_ID_OPUS, AV_CODEC_ID_VORBIS}},
    {".gif", "gif", {"gif"}, {AV_CODEC_ID_GIF}, {}},
};

const Container* ContainerOf(const std::string& name) {
    std::string extension = std::filesystem::path(name).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Container& c : kContainers)
        if (extension == c.extension) return &c;
    return nullptr;
}

// An encoder for `id` that needs neither special hardware nor leave to use
// experimental code.
const AVCodec* FindEncoder(AVCodecID id) {
    void* at = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&at))
        if (codec->id == id && av_codec_is_encoder(codec) &&
            !(codec->capabilities & (AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE)))
            return codec;
    return nullptr;
}

const AVCodec* VideoEncoder(const Container& c) {
    for (const char* name : c.videoNames)
        if (name)
            if (const AVCodec* codec = avcodec_find_encoder_by_name(name)) return codec;
    for (AVCodecID id : c.videoIds)
        if (id != AV_CODEC_ID_NONE)
            if (const AVCodec* codec = FindEncoder(id)) return codec;
    return nullptr;
}

const AVCodec* AudioEncoder(const Container& c) {
    for (AVCodecID id : c.audioIds)
        if (id != AV_CODEC_ID_NONE)
            if (const AVCodec* codec = FindEncoder(id)) return codec;
    return nullptr;
}

int ChooseRate(const AVCodec* encoder, int wanted) {
    if (!encoder->supported_samplerates) return wanted;
    int best = 0;
    for (const int* r = encoder->supported_samplerates; *r; ++r) {
        if (*r == wanted) return wanted;
        if (*r == 48000 || !best) best = *r;
    }
    return best;
}

class PreviewEncoder {
public:
    PreviewEncoder(const std::string& path, AVFormatContext* output) : path_(path), output_(output) {}

    void Check(int r, const char* what) const {
        if (r < 0) throw ToolError("writing " + path_ + " failed (" + what + "): " + AvErrorText(r));
    }

    AvCodec Open(const AVCodec* encoder, AVStream*& stream, void (*setUp)(AVCodecContext*, void*), void* data) {
        AvCodec codec(Allocated(avcodec_alloc_context3(encoder), "encoder"));
        setUp(codec.get(), data);
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Check(avcodec_open2(codec.get(), encoder, nullptr), encoder->name);
        stream = Allocated(avformat_new_stream(output_, nullptr), "stream");
        Check(avcodec_parameters_from_context(stream->codecpar, codec.get()), "stream parameters");
        stream->time_base = codec->time_base;
        return codec;
    }

    // Sends `frame` (null: flush) and writes every packet that comes out.
    void Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        Check(avcodec_send_frame(codec, frame), "encoding");
        for (;;) {
            const int r = avcodec_receive_packet(codec, packet_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            Check(r, "encoding");
            // A picture lasts one tick of the encoder's clock; without it the
            // container ends the video at the last picture's start.
            if (codec->codec_type == AVMEDIA_TYPE_VIDEO && packet_->duration == 0) packet_->duration = 1;
            av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
            packet_->stream_index = stream->index;
            Check(av_interleaved_write_frame(output_, packet_.get()), "muxing");
        }
    }

private:
    std::string path_;
    AVFormatContext* output_;
    AvPacket packet_ = CheckedPacket();
};

struct VideoSetUp {
    AVRational rate;
    const AVCodec* encoder;
    AVPixelFormat pixels;
};

// Pictures as the encoder takes them: GIF needs a palette, and 3-3-2 RGB is
// one FFmpeg's scaler dithers to directly.
AVPixelFormat PixelsFor(const AVCodec* encoder) {
    return encoder->id == AV_CODEC_ID_GIF ? AV_PIX_FMT_RGB8 : AV_PIX_FMT_YUV420P;
}

void SetUpVideo(AVCodecContext* c, void* data) {
    const auto* s = static_cast<VideoSetUp*>(data);
    c->width = kScreenSide;
    c->height = kScreenSide;
    c->pix_fmt = s->pixels;
    c->time_base = av_inv_q(s->rate);
    c->framerate = s->rate;
    c->gop_size = 60;
    const std::string name = s->encoder->name;
    if (name == "libx264") {
        av_opt_set(c->priv_data, "preset", "veryfast", 0);
        av_opt_set(c->priv_data, "crf", "18", 0);
    } else if (name == "libvpx-vp9" || name == "libvpx") {
        // Constant quality, at the encoder's quickest: a preview, not an archive.
        av_opt_set(c->priv_data, "deadline", "realtime", 0);
        av_opt_set_int(c->priv_data, "cpu-used", 8, 0);
        av_opt_set_int(c->priv_data, "crf", 20, 0);
        c->bit_rate = name == "libvpx" ? 8000000 : 0;
    } else if (c->codec_id != AV_CODEC_ID_GIF) {
        c->bit_rate = 6000000;
    }
}

}  // namespace

AVRational PreviewFrameRate(const MovieLayout& layout) {
    double fps = MovieFrameRate(layout);
    if (!(fps > 0) && layout.ticksMin && layout.ticksMax) fps = 120.0 / (layout.ticksMin + layout.ticksMax);
    if (!(fps > 0)) fps = 30;
    static const AVRational common[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1},
                                        {50, 1},       {60000, 1001}, {60, 1}, {12, 1}, {15, 1}};
    const AVRational* nearest = nullptr;
    double nearestError = 0.002;
    for (const AVRational& r : common) {
        const double error = std::fabs(fps / av_q2d(r) - 1);
        if (error < nearestError) nearest = &r, nearestError = error;
    }
    return nearest ? *nearest : av_d2q(fps, 1000);
}

void CheckPreviewName(const std::string& name) {
    const Container* container = ContainerOf(name);
    if (!container)
        throw UsageError("--preview " + name + ": a preview is written as .mp4, .mkv, .webm, .mov or .gif; " +
                         "name the file with one of these");
    if (!VideoEncoder(*container))
        throw ToolError("cannot write " + name + ": this FFmpeg has no video encoder for " + container->extension +
                        "; use .mp4");
}

PreviewResult WritePreview(const std::string& file, const std::string& path, MovieFile& movie,
                           MovieSoundDecoder* sound, const std::function<bool(uint64_t, uint64_t)>& keepGoing) {
    movie.RequireReadable();
    const MovieLayout& m = movie.Layout();
    if (m.frameCount == 0) throw ToolError(movie.Path() + " holds no complete frame");
    const AVRational rate = PreviewFrameRate(m);
    CheckPreviewName(path);
    const Container& container = *ContainerOf(path);

    AVFormatContext* context = nullptr;
    int r = avformat_alloc_output_context2(&context, nullptr, container.muxer, file.c_str());
    if (r < 0) throw ToolError("cannot write " + path + ": " + AvErrorText(r));
    AvOutput out(context);
    PreviewEncoder enc(path, out.get());

    const AVCodec* videoEncoder = VideoEncoder(container);
    VideoSetUp videoSetUp{rate, videoEncoder, PixelsFor(videoEncoder)};
    AVStream* videoStream = nullptr;
    AvCodec video = enc.Open(videoEncoder, videoStream, SetUpVideo, &videoSetUp);

    const AVCodec* audioEncoder = sound && MovieSoundSamples(m) > 0 ? AudioEncoder(container) : nullptr;
    AvCodec audio;
    AVStream* audioStream = nullptr;
    SwrHandle swr;
    std::unique_ptr<AVAudioFifo, void (*)(AVAudioFifo*)> fifo(nullptr, av_audio_fifo_free);
    if (audioEncoder) {
        struct AudioSetUp {
            const AVCodec* encoder;
            const MovieSoundDecoder* sound;
        } audioSetUp{audioEncoder, sound};
        audio = enc.Open(
            audioEncoder, audioStream,
            [](AVCodecContext* c, void* data) {
                const auto* s = static_cast<AudioSetUp*>(data);
                c->sample_fmt = s->encoder->sample_fmts ? s->encoder->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
                c->sample_rate = ChooseRate(s->encoder, s->sound->Rate());
                av_channel_layout_default(&c->ch_layout, s->sound->Channels());
                c->bit_rate = 128000 * s->sound->Channels();
                c->time_base = AVRational{1, c->sample_rate};
            },
            &audioSetUp);
        SwrContext* raw = nullptr;
        AVChannelLayout in{};
        av_channel_layout_default(&in, sound->Channels());
        r = swr_alloc_set_opts2(&raw, &audio->ch_layout, audio->sample_fmt, audio->sample_rate, &in, AV_SAMPLE_FMT_S16,
                                sound->Rate(), 0, nullptr);
        swr.reset(raw);
        if (r >= 0) r = swr_init(swr.get());
        enc.Check(r, "sound conversion");
        fifo.reset(Allocated(av_audio_fifo_alloc(audio->sample_fmt, audio->ch_layout.nb_channels, 4096), "sound buffer"));
    }

    r = avio_open(&out->pb, file.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) throw ToolError("cannot create " + path + ": " + AvErrorText(r));
    enc.Check(avformat_write_header(out.get(), nullptr), "header");

    SwsHandle sws(Allocated(sws_getContext(kScreenSide, kScreenSide, AV_PIX_FMT_RGB24, kScreenSide, kScreenSide,
                                           videoSetUp.pixels, SWS_BICUBIC, nullptr, nullptr, nullptr),
                            "picture conversion"));
    AvFrame picture = CheckedFrame();
    picture->width = kScreenSide;
    picture->height = kScreenSide;
    picture->format = videoSetUp.pixels;
    enc.Check(av_frame_get_buffer(picture.get(), 0), "picture buffer");

    const int frameSize = audio && audio->frame_size > 0 ? audio->frame_size : 1024;
    const std::size_t channels = sound ? static_cast<std::size_t>(sound->Channels()) : 1;
    // The sound of the records read so far and not yet converted, from
    // sample frame `pendingFrom` of the movie on.
    std::vector<int16_t> pending;
    std::size_t pendingFrom = 0;
    std::size_t soundAt = 0;
    int64_t audioPts = 0;
    // Converts sound up to `until` (source sample frames) and encodes every
    // whole encoder frame; at the end, also the last partial one.
    auto pumpAudio = [&](std::size_t until, bool last) {
        if (!audio) return;
        until = std::min(until, pendingFrom + pending.size() / channels);
        while (soundAt < until || last) {
            const std::size_t n = std::min<std::size_t>(until - soundAt, 4096);
            const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(pending.data() + (soundAt - pendingFrom) * channels)};
            const int outRoom = swr_get_out_samples(swr.get(), static_cast<int>(n));
            AvFrame converted = CheckedFrame();
            converted->format = audio->sample_fmt;
            converted->sample_rate = audio->sample_rate;
            av_channel_layout_copy(&converted->ch_layout, &audio->ch_layout);
            converted->nb_samples = std::max(outRoom, 1);
            enc.Check(av_frame_get_buffer(converted.get(), 0), "sound buffer");
            const int got = swr_convert(swr.get(), converted->data, converted->nb_samples, n ? in : nullptr,
                                        static_cast<int>(n));
            enc.Check(got, "sound conversion");
            if (got > 0) av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(converted->data), got);
            soundAt += n;
            const bool drained = last && n == 0;
            while (av_audio_fifo_size(fifo.get()) >= frameSize || (drained && av_audio_fifo_size(fifo.get()) > 0)) {
                AvFrame chunk = CheckedFrame();
                chunk->format = audio->sample_fmt;
                chunk->sample_rate = audio->sample_rate;
                av_channel_layout_copy(&chunk->ch_layout, &audio->ch_layout);
                chunk->nb_samples = std::min(frameSize, av_audio_fifo_size(fifo.get()));
                enc.Check(av_frame_get_buffer(chunk.get(), 0), "sound buffer");
                av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(chunk->data), chunk->nb_samples);
                chunk->pts = audioPts;
                audioPts += chunk->nb_samples;
                enc.Encode(audio.get(), audioStream, chunk.get());
            }
            if (drained) break;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>((soundAt - pendingFrom) * channels));
        pendingFrom = soundAt;
    };

    PreviewResult result;
    for (uint64_t j = 0; j < m.frameCount; ++j) {
        if (!keepGoing(j, m.frameCount)) {
            result.cancelled = true;
            break;
        }
        const MovieFrame& frame = movie.Frame(j);
        if (audio) sound->Decode(frame, pending);
        const RgbImage screen = RenderScreen(m, frame);
        enc.Check(av_frame_make_writable(picture.get()), "picture buffer");
        const uint8_t* src[1] = {screen.rgb.data()};
        const int srcStride[1] = {kScreenSide * 3};
        sws_scale(sws.get(), src, srcStride, 0, kScreenSide, picture->data, picture->linesize);
        picture->pts = static_cast<int64_t>(j);
        enc.Encode(video.get(), videoStream, picture.get());
        result.frames = j + 1;
        if (audio)
            pumpAudio(static_cast<std::size_t>(av_rescale(static_cast<int64_t>(j + 1), int64_t{sound->Rate()} * rate.den, rate.num)),
                      false);
    }
    // A cancelled preview ends properly too: its sound stops with its pictures.
    enc.Encode(video.get(), videoStream, nullptr);
    if (audio) {
        const std::size_t soundEnd =
            result.cancelled ? static_cast<std::size_t>(av_rescale(static_cast<int64_t>(result.frames),
                                                                   int64_t{sound->Rate()} * rate.den, rate.num))
                             : SIZE_MAX;
        pumpAudio(soundEnd, true);
        enc.Encode(audio.get(), audioStream, nullptr);
    }
    enc.Check(av_write_trailer(out.get()), "trailer");
    enc.Check(avio_closep(&out->pb), "file");

    result.note = std::string(videoEncoder->name);
    if (audio) result.note += std::string(" and ") + audioEncoder->name;
    else if (sound && MovieSoundSamples(m) > 0) result.note += std::string(", no sound (") + container.extension + " has none)";
    else result.note += ", no sound";
    char fps[32];
    std::snprintf(fps, sizeof fps, " at %.3f fps", av_q2d(rate));
    result.note += fps;
    return result;
}

}  // namespace kest::tool
