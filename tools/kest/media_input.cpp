#include "media_input.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "av_handles.h"
#include "decode_ahead.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

AvInput OpenInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (r < 0) throw ToolError("cannot open " + path + ": " + AvErrorText(r));
    AvInput input(raw);
    r = avformat_find_stream_info(input.get(), nullptr);
    if (r < 0) throw ToolError("cannot read the streams of " + path + ": " + AvErrorText(r));
    return input;
}

int FindStream(AVFormatContext* input, AVMediaType type) {
    const int best = av_find_best_stream(input, type, -1, -1, nullptr, 0);
    if (best >= 0 && !(input->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC)) return best;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* s = input->streams[i];
        if (s->codecpar->codec_type == type && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) return static_cast<int>(i);
    }
    return -1;
}

double Seconds(int64_t ticks, AVRational timeBase) { return static_cast<double>(ticks) * av_q2d(timeBase); }

// One stream of the file, decoded front to back through its own demuxer, so
// that pictures and sound can be taken at their own pace.
class StreamDecoder {
public:
    StreamDecoder(const std::string& path, int streamIndex, int threads)
        : input_(OpenInput(path)), index_(streamIndex) {
        AVStream* stream = input_->streams[index_];
        for (unsigned i = 0; i < input_->nb_streams; ++i)
            if (static_cast<int>(i) != index_) input_->streams[i]->discard = AVDISCARD_ALL;
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!decoder)
            throw ToolError(path + ": no decoder for " + avcodec_get_name(stream->codecpar->codec_id));
        codec_.reset(avcodec_alloc_context3(decoder));
        avcodec_parameters_to_context(codec_.get(), stream->codecpar);
        codec_->pkt_timebase = stream->time_base;
        codec_->thread_count = threads;
        const int r = avcodec_open2(codec_.get(), decoder, nullptr);
        if (r < 0) throw ToolError(path + ": cannot open the " + decoder->name + " decoder: " + AvErrorText(r));
    }

    AVStream* Stream() const { return input_->streams[index_]; }
    AVFrame* Frame() const { return frame_.get(); }
    const std::string& Failure() const { return failure_; }

    // The next decoded frame; false at the end of the stream or on a failure.
    bool Next() {
        for (;;) {
            int r = avcodec_receive_frame(codec_.get(), frame_.get());
            if (r == 0) return true;
            if (r == AVERROR_EOF) return false;
            if (r != AVERROR(EAGAIN)) {
                failure_ = std::string("decoding failed: ") + AvErrorText(r);
                return false;
            }
            if (flushed_) return false;
            for (;;) {
                r = av_read_frame(input_.get(), packet_.get());
                if (r < 0) {
                    if (r != AVERROR_EOF) failure_ = std::string("reading failed: ") + AvErrorText(r);
                    avcodec_send_packet(codec_.get(), nullptr);
                    flushed_ = true;
                    break;
                }
                const bool wanted = packet_->stream_index == index_ && !(packet_->flags & AV_PKT_FLAG_DISCARD);
                // A damaged packet is skipped, as players do; the frames
                // around it still come.
                if (wanted) r = avcodec_send_packet(codec_.get(), packet_.get());
                av_packet_unref(packet_.get());
                if (wanted) break;
            }
            (void)r;
        }
    }

private:
    AvInput input_;
    int index_;
    AvCodec codec_;
    AvPacket packet_ = NewPacket();
    AvFrame frame_ = NewFrame();
    bool flushed_ = false;
    std::string failure_;
};

struct VideoScan {
    std::vector<int64_t> times;  // presentation timestamps, sorted
    int64_t lastDuration = 0;
};

// The pictures' timestamps from the packets, without decoding.
VideoScan ScanVideo(const std::string& path, int streamIndex, AVRational fallbackRate) {
    AvInput input = OpenInput(path);
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex) input->streams[i]->discard = AVDISCARD_ALL;
    const AVRational timeBase = input->streams[streamIndex]->time_base;
    const int64_t frameTicks = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(fallbackRate), timeBase));
    VideoScan scan;
    AvPacket packet = NewPacket();
    int64_t previous = AV_NOPTS_VALUE, lastDuration = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == streamIndex && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
            int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (t == AV_NOPTS_VALUE) t = previous == AV_NOPTS_VALUE ? 0 : previous + frameTicks;
            scan.times.push_back(t);
            previous = t;
            lastDuration = packet->duration > 0 ? packet->duration : frameTicks;
        }
        av_packet_unref(packet.get());
    }
    std::sort(scan.times.begin(), scan.times.end());
    scan.lastDuration = lastDuration;
    return scan;
}

struct AudioScan {
    int64_t samples = 0;
    int64_t firstTime = AV_NOPTS_VALUE;  // stream time base
    int32_t rate = 0;
    int32_t channels = 0;
};

// The sound's exact length: decoded once, since packets do not always say.
AudioScan ScanAudio(const std::string& path, int streamIndex, int threads) {
    StreamDecoder decoder(path, streamIndex, threads);
    AudioScan scan;
    while (decoder.Next()) {
        const AVFrame* f = decoder.Frame();
        if (scan.firstTime == AV_NOPTS_VALUE) {
            scan.firstTime = f->best_effort_timestamp;
            scan.rate = f->sample_rate;
            scan.channels = f->ch_layout.nb_channels;
        }
        scan.samples += f->nb_samples;
    }
    if (!decoder.Failure().empty()) throw ToolError(path + ": sound " + decoder.Failure());
    return scan;
}

class MediaInput final : public FrameSource {
public:
    MediaInput(const std::string& path, const MediaOptions& options) : path_(path) {
        AvInput probe = OpenInput(path);
        const int videoIndex = FindStream(probe.get(), AVMEDIA_TYPE_VIDEO);
        if (videoIndex < 0) throw ToolError(path + " has no video stream");
        const int audioIndex = options.audio ? FindStream(probe.get(), AVMEDIA_TYPE_AUDIO) : -1;
        const AVStream* videoStream = probe->streams[videoIndex];

        AVRational rate{options.fpsNum, options.fpsDen};
        if (rate.num <= 0 || rate.den <= 0) rate = videoStream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = videoStream->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
        av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT32_MAX);
        shape_.rate = rate.num;
        shape_.scale = rate.den;

        const int32_t sourceWidth = videoStream->codecpar->width, sourceHeight = videoStream->codecpar->height;
        if (sourceWidth <= 0 || sourceHeight <= 0) throw ToolError(path + ": the video stream has no picture size");
        if (options.width > 0) {
            shape_.width = options.width;
            shape_.height = options.height;
        } else {
            DefaultPictureSize(sourceWidth, sourceHeight, shape_.width, shape_.height);
        }
        stride_ = (shape_.width * 3 + 3) / 4 * 4;
        picture_.assign(static_cast<std::size_t>(stride_) * shape_.height, 0);

        // Which source picture each output frame shows: the last one whose
        // time, counted in output frames from the start, rounds to it or
        // before, as a constant-rate host repeats and drops.
        const VideoScan scan = ScanVideo(path, videoIndex, rate);
        if (scan.times.empty()) throw ToolError(path + ": the video stream holds no pictures");
        const AVRational timeBase = videoStream->time_base;
        const int64_t origin = scan.times.front();
        const double fps = av_q2d(rate);
        const double videoEnd = Seconds(scan.times.back() + scan.lastDuration - origin, timeBase);
        if (options.start >= videoEnd)
            throw ToolError("--start " + std::to_string(options.start) + " s lies past the end of the video (" +
                            std::to_string(videoEnd) + " s)");
        double rangeEnd = videoEnd;
        if (options.duration >= 0) rangeEnd = std::min(rangeEnd, options.start + options.duration);
        // A range shorter than one output frame still shows its picture once.
        const int64_t frames = std::max<int64_t>(1, std::llround((rangeEnd - options.start) * fps));
        if (frames > INT32_MAX) throw ToolError(path + " has too many frames for one movie");
        shape_.frameCount = static_cast<int32_t>(frames);
        sourceOf_.resize(static_cast<std::size_t>(shape_.frameCount));
        std::size_t next = 0;
        int32_t current = 0;
        for (int32_t k = 0; k < shape_.frameCount; ++k) {
            while (next < scan.times.size() &&
                   std::llround((Seconds(scan.times[next] - origin, timeBase) - options.start) * fps) <= k)
                current = static_cast<int32_t>(next++);
            sourceOf_[static_cast<std::size_t>(k)] = current;
        }
        video_ = std::make_unique<StreamDecoder>(path, videoIndex, options.threads);
        StreamDecoder* video = video_.get();
        videoAhead_ = std::make_unique<DecodeAhead>(
            [video](AVFrame* to) {
                if (!video->Next()) return false;
                av_frame_move_ref(to, video->Frame());
                return true;
            },
            [video] { return video->Failure(); });

        if (audioIndex >= 0) {
            const AudioScan sound = ScanAudio(path, audioIndex, options.threads);
            if (sound.samples > 0 && sound.rate > 0 && sound.channels > 0) {
                const AVRational audioBase = probe->streams[audioIndex]->time_base;
                const double audioStart =
                    sound.firstTime == AV_NOPTS_VALUE
                        ? 0.0
                        : Seconds(sound.firstTime, audioBase) - Seconds(origin, timeBase);
                // Positive: silence before the sound begins; negative: sound to skip.
                lead_ = std::llround((audioStart - options.start) * sound.rate);
                const int64_t rangeSamples = av_rescale(shape_.frameCount, int64_t{sound.rate} * rate.den, rate.num);
                const int64_t samples = std::clamp<int64_t>(lead_ + sound.samples, 0, rangeSamples);
                if (samples > INT32_MAX) throw ToolError(path + ": the sound is too long for one movie");
                shape_.hasAudio = true;
                shape_.audioRate = sound.rate;
                shape_.audioChannels = sound.channels == 1 ? 1 : 2;
                shape_.audioSamples = static_cast<int32_t>(samples);
                audio_ = std::make_unique<StreamDecoder>(path, audioIndex, options.threads);
            }
        }
    }

    ~MediaInput() override { av_channel_layout_uninit(&swrLayout_); }
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    const SourceShape& Shape() const override { return shape_; }
    std::string Failure() const override { return failure_; }

    const uint8_t* Picture(int32_t frame) override {
        const int32_t wanted = sourceOf_[static_cast<std::size_t>(std::clamp(frame, 0, shape_.frameCount - 1))];
        const AVFrame* latest = nullptr;
        while (decoded_ < wanted || decoded_ < 0) {
            const AVFrame* next = videoAhead_->Next();
            if (!next) {
                // Fewer pictures than packets: the last one stays on screen.
                const std::string why = videoAhead_->Failure();
                if (!why.empty()) failure_ = path_ + ": video " + why;
                else if (decoded_ < 0) failure_ = path_ + ": no picture could be decoded";
                break;
            }
            ++decoded_;
            latest = next;
        }
        if (latest) Convert(latest);
        return picture_.data();
    }

    const int16_t* Audio(int32_t start, int32_t count) override {
        sound_.assign(static_cast<std::size_t>(std::max(count, 0)) * shape_.audioChannels, 0);
        // Calls are contiguous; a gap would be skipped over.
        while (position_ < start) TakeSamples(nullptr, static_cast<int32_t>(std::min<int64_t>(start - position_, 65536)));
        TakeSamples(sound_.data(), count);
        return sound_.data();
    }

private:
    // Moves `count` sample frames of the exported sound into `to` (or drops
    // them when `to` is null): silence before the sound, the decoded sound,
    // silence after it.
    void TakeSamples(int16_t* to, int32_t count) {
        const int channels = shape_.audioChannels;
        int32_t done = 0;
        while (done < count) {
            if (position_ < lead_) {
                const int32_t n = static_cast<int32_t>(std::min<int64_t>(count - done, lead_ - position_));
                done += n, position_ += n;  // already zero
                continue;
            }
            if (fifoAt_ == fifo_.size() && !Refill()) {
                position_ += count - done;
                return;  // the rest stays silent
            }
            const std::size_t available = (fifo_.size() - fifoAt_) / static_cast<std::size_t>(channels);
            const int32_t n = static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(count - done), available));
            if (to)
                std::memcpy(to + static_cast<std::size_t>(done) * channels, fifo_.data() + fifoAt_,
                            static_cast<std::size_t>(n) * channels * sizeof(int16_t));
            fifoAt_ += static_cast<std::size_t>(n) * channels;
            done += n, position_ += n;
        }
    }

    // Decodes the next sound frame into the fifo, dropping what lies before
    // the range. False at the end of the sound.
    bool Refill() {
        for (;;) {
            if (!audio_->Next()) {
                if (!audio_->Failure().empty()) failure_ = path_ + ": sound " + audio_->Failure();
                return false;
            }
            const AVFrame* f = audio_->Frame();
            ConvertSound(f);
            std::size_t skip = 0;
            if (skipped_ < -lead_) {
                const int64_t frames = static_cast<int64_t>(fifo_.size()) / shape_.audioChannels;
                const int64_t n = std::min(frames, -lead_ - skipped_);
                skipped_ += n;
                skip = static_cast<std::size_t>(n) * shape_.audioChannels;
            }
            fifoAt_ = skip;
            if (fifoAt_ < fifo_.size()) return true;
        }
    }

    void ConvertSound(const AVFrame* f) {
        const int channels = shape_.audioChannels;
        fifo_.resize(static_cast<std::size_t>(f->nb_samples) * channels);
        // 16-bit interleaved mono or stereo goes through untouched.
        if (f->format == AV_SAMPLE_FMT_S16 && f->ch_layout.nb_channels == channels) {
            std::memcpy(fifo_.data(), f->data[0], fifo_.size() * sizeof(int16_t));
            return;
        }
        AVChannelLayout in{};
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&in, f->ch_layout.nb_channels);
        else av_channel_layout_copy(&in, &f->ch_layout);
        if (!swr_ || f->format != swrFormat_ || f->sample_rate != swrRate_ || av_channel_layout_compare(&in, &swrLayout_) != 0) {
            AVChannelLayout out{};
            av_channel_layout_default(&out, channels);
            SwrContext* raw = nullptr;
            int r = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, f->sample_rate, &in,
                                        static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
            swr_.reset(raw);
            if (r >= 0) r = swr_init(swr_.get());
            av_channel_layout_uninit(&out);
            if (r < 0) {
                failure_ = path_ + ": cannot convert the sound: " + AvErrorText(r);
                swr_.reset();
                av_channel_layout_uninit(&in);
                std::fill(fifo_.begin(), fifo_.end(), int16_t{0});
                return;
            }
            swrFormat_ = f->format;
            swrRate_ = f->sample_rate;
            av_channel_layout_uninit(&swrLayout_);
            av_channel_layout_copy(&swrLayout_, &in);
        }
        av_channel_layout_uninit(&in);
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(fifo_.data())};
        const int n = swr_convert(swr_.get(), out, f->nb_samples, const_cast<const uint8_t**>(f->extended_data),
                                  f->nb_samples);
        fifo_.resize(static_cast<std::size_t>(std::max(n, 0)) * channels);
    }

    void Convert(const AVFrame* f) {
        const int32_t w = shape_.width, h = shape_.height;
        const uint8_t* rows = nullptr;
        int rowStride = 0;
        if (f->format == AV_PIX_FMT_BGR24 && f->width == w && f->height == h) {
            // Already what the editor delivers: copied as it is, only turned
            // bottom row first.
            rows = f->data[0];
            rowStride = f->linesize[0];
        } else {
            // Chroma interpolated to full width only pays while the output is
            // wider than half the source, the chroma width of 4:2:0 and 4:2:2
            // pictures; shrinking further it doubles the scaling time and
            // changes nothing one can see.
            int flags = SWS_BICUBIC | SWS_ACCURATE_RND;
            if (2 * w > f->width) flags |= SWS_FULL_CHR_H_INT;
            sws_.reset(sws_getCachedContext(sws_.release(), f->width, f->height, static_cast<AVPixelFormat>(f->format), w,
                                            h, AV_PIX_FMT_BGR24, flags, nullptr, nullptr, nullptr));
            if (!sws_) {
                failure_ = path_ + ": cannot convert its pictures";
                return;
            }
            const int* coefficients =
                sws_getCoefficients(f->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
            int* invTable = nullptr;
            int* table = nullptr;
            int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
            if (sws_getColorspaceDetails(sws_.get(), &invTable, &srcRange, &table, &dstRange, &brightness, &contrast,
                                         &saturation) >= 0)
                sws_setColorspaceDetails(sws_.get(), coefficients, f->color_range == AVCOL_RANGE_JPEG, table, dstRange,
                                         brightness, contrast, saturation);
            scaled_.resize(static_cast<std::size_t>(w) * 3 * h);
            uint8_t* dst[1] = {scaled_.data()};
            const int dstStride[1] = {w * 3};
            sws_scale(sws_.get(), f->data, f->linesize, 0, f->height, dst, dstStride);
            rows = scaled_.data();
            rowStride = w * 3;
        }
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(&picture_[static_cast<std::size_t>(h - 1 - y) * stride_], rows + static_cast<std::ptrdiff_t>(y) * rowStride,
                        static_cast<std::size_t>(w) * 3);
    }

    std::string path_;
    SourceShape shape_;
    std::vector<int32_t> sourceOf_;
    std::unique_ptr<StreamDecoder> video_;
    std::unique_ptr<DecodeAhead> videoAhead_;  // the only user of video_ from here on; goes first
    int32_t decoded_ = -1;  // index of the picture in the decoder's frame
    int32_t stride_ = 0;
    std::vector<uint8_t> picture_;
    std::vector<uint8_t> scaled_;
    SwsHandle sws_;

    std::unique_ptr<StreamDecoder> audio_;
    int64_t lead_ = 0;
    int64_t skipped_ = 0;
    int64_t position_ = 0;  // sample frames delivered
    std::vector<int16_t> fifo_;
    std::size_t fifoAt_ = 0;
    std::vector<int16_t> sound_;
    SwrHandle swr_;
    int swrFormat_ = -1;
    int swrRate_ = 0;
    AVChannelLayout swrLayout_{};

    std::string failure_;
};

}  // namespace

void DefaultPictureSize(int32_t width, int32_t height, int32_t& outWidth, int32_t& outHeight) {
    if (width <= 512 && height <= 512) {
        outWidth = width;
        outHeight = height;
        return;
    }
    const double fit = std::min(512.0 / width, 512.0 / height);
    outWidth = std::max(4, static_cast<int32_t>(width * fit + 1e-9) / 4 * 4);
    outHeight = std::clamp(static_cast<int32_t>(std::lround(static_cast<double>(height) * outWidth / width)), 1, 512);
}

std::unique_ptr<FrameSource> OpenMediaInput(const std::string& path, const MediaOptions& options) {
    return std::make_unique<MediaInput>(path, options);
}

}  // namespace kest::tool
