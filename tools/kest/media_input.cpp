#include "media_input.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "av_handles.h"
#include "decode_ahead.h"
#include "ffmpeg_log.h"
#include "timestamp_repair.h"
#include "tool_error.h"

namespace kest::tool {
namespace {

double Seconds(int64_t ticks, AVRational timeBase) { return static_cast<double>(ticks) * av_q2d(timeBase); }

std::string RateText(AVRational r) {
    char text[32];
    if (r.den == 1) std::snprintf(text, sizeof text, "%d", r.num);
    else std::snprintf(text, sizeof text, "%.3g", av_q2d(r));
    return text;
}

bool Valid(AVRational r) { return r.num > 0 && r.den > 0; }

// Where the bytes come from: one open of a file, a FIFO or standard input,
// kept for the whole export. An image sequence is many files, which its
// demuxer opens itself.
struct Source {
    std::string name;  // for messages
    std::string url;
    bool sequence = false;
    bool streamed = false;  // cannot be read twice
    AvIo io;
};

void OpenBytes(Source& s) {
    AVIOContext* io = nullptr;
    const int r = avio_open2(&io, s.url.c_str(), AVIO_FLAG_READ, nullptr, nullptr);
    if (r < 0) throw ToolError("cannot open " + s.name + ": " + AvErrorText(r));
    s.io.reset(io);
    if (!(io->seekable & AVIO_SEEKABLE_NORMAL)) s.streamed = true;
}

Source OpenSource(const std::string& path) {
    Source s;
    s.name = path == "-" ? std::string("standard input") : path;
    struct stat st {};
    if (path == "-") {
        s.url = "pipe:0";
        s.streamed = true;
    } else if (::stat(path.c_str(), &st) != 0) {
        if (path.find('%') != std::string::npos) {
            s.url = path;
            s.sequence = true;
            return s;
        }
        if (path.find("://") == std::string::npos) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
        s.url = path;  // a protocol FFmpeg reads, such as https://
    } else if (S_ISDIR(st.st_mode)) {
        throw ToolError(path + " is a folder, not a video file");
    } else if (S_ISREG(st.st_mode) && st.st_size == 0) {
        throw ToolError(path + " is empty (0 bytes): there is no video in it");
    } else {
        s.url = "file:" + path;
    }
    OpenBytes(s);
    return s;
}

// The demuxer over `source`, with the streams found.
AvInput OpenDemuxer(Source& source, const MediaOptions& o) {
    AVFormatContext* raw = Allocated(avformat_alloc_context(), "the input");
    if (source.io) {
        raw->pb = source.io.get();
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    AVDictionary* options = nullptr;
    const std::string inputRate = std::to_string(o.inputFpsNum) + "/" + std::to_string(o.inputFpsDen);
    if (o.inputFpsNum > 0) av_dict_set(&options, "framerate", inputRate.c_str(), 0);
    // The format first, so that a file of no known format and a damaged
    // file of a known one get different reasons.
    const AVInputFormat* format = nullptr;
    bool byContent = false;  // not only by the file's name
    if (source.io) {
        byContent = av_probe_input_buffer2(source.io.get(), &format, nullptr, nullptr, 0, 0) >= 0;
        format = nullptr;
        const int probed = av_probe_input_buffer2(source.io.get(), &format, source.url.c_str(), nullptr, 0, 0);
        if (probed < 0) {
            avformat_free_context(raw);
            // What the probe read is back in the buffer: nothing there, nothing sent.
            if (probed == AVERROR_EOF || ((avio_r8(source.io.get()), avio_feof(source.io.get())) && source.io->pos == 0))
                throw ToolError(source.name + " is empty: there is no video in it");
            if (probed != AVERROR_INVALIDDATA) throw ToolError("cannot read " + source.name + ": " + AvErrorText(probed));
            throw ToolError(source.name + " is not a video file FFmpeg can read: its contents match no format it knows");
        }
    }
    int r = avformat_open_input(&raw, source.url.c_str(), format, &options);  // frees raw on failure
    const bool rateUnused = av_dict_get(options, "framerate", nullptr, 0) != nullptr;
    av_dict_free(&options);
    if (r < 0) {
        if (source.streamed && format)
            throw ToolError("cannot read " + source.name + " (" + format->name + ") in a single pass (" + AvErrorText(r) +
                            "): save it to a file and export that, or send a streaming format such as MPEG-TS, Matroska or NUT");
        if (format && !byContent)
            throw ToolError(source.name + " is not a video file FFmpeg can read: its contents match no format it knows");
        if (format)
            throw ToolError(source.name + " is a damaged or incomplete " + format->name + " file (" + AvErrorText(r) + ")");
        throw ToolError("cannot open " + source.name + ": " + AvErrorText(r));
    }
    AvInput input(raw);
    if (rateUnused)
        throw UsageError("--input-fps: " + source.name + " (" + input->iformat->name +
                         ") states its own frame rate; --input-fps is for image sequences and raw video streams");
    r = avformat_find_stream_info(input.get(), nullptr);
    if (r < 0) throw ToolError("cannot read the streams of " + source.name + ": " + AvErrorText(r));
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

int64_t FrameTicks(AVRational rate, AVRational timeBase) {
    return std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), timeBase));
}

// What one read of the packets tells before anything is decoded.
struct PacketScan {
    std::vector<int64_t> times;  // the pictures' presentation times, sorted
    int64_t lastDuration = 0;
    int64_t audioFirst = AV_NOPTS_VALUE;
    int64_t audioTicks = 0;      // the sound's length from its packets' durations
    bool audioDurationsKnown = true;
    int64_t audioPackets = 0;
    int repairs = 0;
};

PacketScan ScanPackets(AVFormatContext* input, int video, int audio, AVRational nominalRate) {
    const AVRational videoBase = input->streams[video]->time_base;
    const int64_t frameTicks = FrameTicks(nominalRate, videoBase);
    TimestampRepair repair((input->iformat->flags & AVFMT_TS_DISCONT) != 0);
    PacketScan scan;
    AvPacket packet(Allocated(av_packet_alloc(), "a packet"));
    int64_t previous = AV_NOPTS_VALUE;
    while (av_read_frame(input, packet.get()) >= 0) {
        const int index = packet->stream_index;
        if ((index == video || index == audio) && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
            const AVRational tb = input->streams[index]->time_base;
            repair.Repair(*packet, tb, index == video ? frameTicks : 0);
            if (index == video) {
                int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                if (t == AV_NOPTS_VALUE) t = previous == AV_NOPTS_VALUE ? 0 : previous + frameTicks;
                scan.times.push_back(t);
                previous = t;
                scan.lastDuration = packet->duration > 0 ? packet->duration : frameTicks;
            } else {
                ++scan.audioPackets;
                const int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                if (scan.audioFirst == AV_NOPTS_VALUE && t != AV_NOPTS_VALUE) scan.audioFirst = t;
                if (packet->duration > 0) scan.audioTicks += packet->duration;
                else scan.audioDurationsKnown = false;
            }
        }
        av_packet_unref(packet.get());
    }
    std::sort(scan.times.begin(), scan.times.end());
    scan.repairs = repair.Repairs();
    return scan;
}

// The rate that keeps every picture of the input: its nominal rate, or for
// a variable rate the highest it holds for a few pictures in a row (not the
// average, which drops pictures where the rate is above it).
AVRational HighestRate(const std::vector<int64_t>& times, AVRational timeBase, AVRational average, AVRational nominal,
                       bool& variable) {
    variable = false;
    if (times.size() < 3) return average;
    const std::size_t span = std::min<std::size_t>(8, times.size() - 1);
    double peak = 0;
    for (std::size_t i = 0; i + span < times.size(); ++i) {
        const double seconds = Seconds(times[i + span] - times[i], timeBase);
        if (seconds > 0) peak = std::max(peak, static_cast<double>(span) / seconds);
    }
    // Timestamps in milliseconds jitter by up to 1 % at 120 fps.
    if (peak <= 0 || (Valid(average) && peak <= av_q2d(average) * 1.025)) return average;
    variable = true;
    // Timestamps in milliseconds jitter: the stream's own rate, or the
    // nearest usual one, is meant.
    auto near = [peak](AVRational r) { return Valid(r) && std::fabs(av_q2d(r) - peak) <= 0.015 * peak; };
    if (near(nominal)) return nominal;
    const AVRational usual[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {48, 1},  {50, 1}, {60000, 1001},
                                {60, 1},       {5, 1},  {10, 1}, {12, 1},       {15, 1}, {20, 1}, {120, 1}};
    AVRational best{0, 1};
    for (const AVRational& r : usual)
        if (near(r) && (!Valid(best) || std::fabs(av_q2d(r) - peak) < std::fabs(av_q2d(best) - peak))) best = r;
    return Valid(best) ? best : av_d2q(peak, 1001);
}

// One demuxer feeding the video and the sound decoders, each taking its own
// stream's packets at its own pace from its own thread.
class Demuxer {
public:
    Demuxer(AvInput input, int video, int audio, AVRational nominalRate)
        : input_(std::move(input)),
          video_(video),
          audio_(audio),
          frameTicks_(FrameTicks(nominalRate, input_->streams[video]->time_base)),
          repair_((input_->iformat->flags & AVFMT_TS_DISCONT) != 0) {}

    AVFormatContext* Format() const { return input_.get(); }

    // The next packet of `stream` moved into `to`; false at the end of the
    // input or when reading failed (`failure` says why).
    bool Read(int stream, AVPacket* to, std::string& failure) {
        std::lock_guard lock(mutex_);
        std::deque<AvPacket>& waiting = queues_[stream];
        if (!waiting.empty()) {
            av_packet_move_ref(to, waiting.front().get());
            waiting.pop_front();
            return true;
        }
        while (!ended_) {
            const int r = av_read_frame(input_.get(), to);
            if (r < 0) {
                ended_ = true;
                if (r != AVERROR_EOF) failure_ = std::string("reading failed: ") + AvErrorText(r);
                break;
            }
            const int index = to->stream_index;
            if ((index != video_ && index != audio_) || (to->flags & AV_PKT_FLAG_DISCARD)) {
                av_packet_unref(to);
                continue;
            }
            repair_.Repair(*to, input_->streams[index]->time_base, index == video_ ? frameTicks_ : 0);
            if (index == stream) return true;
            AvPacket kept(av_packet_alloc());
            if (!kept) {
                ended_ = true;
                failure_ = "out of memory for a packet";
                break;
            }
            av_packet_move_ref(kept.get(), to);
            queues_[index].push_back(std::move(kept));
        }
        failure = failure_;
        return false;
    }

    int Repairs() {
        std::lock_guard lock(mutex_);
        return repair_.Repairs();
    }

private:
    AvInput input_;
    int video_, audio_;
    int64_t frameTicks_;
    std::mutex mutex_;
    TimestampRepair repair_;
    std::map<int, std::deque<AvPacket>> queues_;
    bool ended_ = false;
    std::string failure_;
};

// One stream's decoder, fed from the shared demuxer.
class StreamDecoder {
public:
    StreamDecoder(Demuxer& demuxer, int streamIndex, int threads, const std::string& name)
        : demuxer_(demuxer), index_(streamIndex) {
        const AVStream* stream = demuxer.Format()->streams[index_];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!decoder) throw ToolError(name + ": no decoder for " + avcodec_get_name(stream->codecpar->codec_id));
        codec_.reset(Allocated(avcodec_alloc_context3(decoder), "a decoder"));
        int r = avcodec_parameters_to_context(codec_.get(), stream->codecpar);
        if (r < 0) throw ToolError(name + ": cannot set up the " + decoder->name + " decoder: " + AvErrorText(r));
        codec_->pkt_timebase = stream->time_base;
        codec_->thread_count = threads;
        r = avcodec_open2(codec_.get(), decoder, nullptr);
        if (r < 0) throw ToolError(name + ": cannot open the " + decoder->name + " decoder: " + AvErrorText(r));
        packet_.reset(Allocated(av_packet_alloc(), "a packet"));
        frame_.reset(Allocated(av_frame_alloc(), "a decoded frame"));
    }

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
            std::string why;
            if (demuxer_.Read(index_, packet_.get(), why)) {
                // A damaged packet is skipped, as players do; the frames
                // around it still come.
                (void)avcodec_send_packet(codec_.get(), packet_.get());
                av_packet_unref(packet_.get());
            } else {
                if (!why.empty()) failure_ = why;
                avcodec_send_packet(codec_.get(), nullptr);
                flushed_ = true;
            }
        }
    }

private:
    Demuxer& demuxer_;
    int index_;
    AvCodec codec_;
    AvPacket packet_;
    AvFrame frame_;
    bool flushed_ = false;
    std::string failure_;
};

int64_t FrameDuration(const AVFrame* f) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    return f->duration;
#else
    return f->pkt_duration;
#endif
}

class MediaInput final : public FrameSource {
public:
    MediaInput(const std::string& path, const MediaOptions& options) : source_(OpenSource(path)) {
        const std::string& name = source_.name;
        AvInput first = OpenDemuxer(source_, options);
        const int videoIndex = FindStream(first.get(), AVMEDIA_TYPE_VIDEO);
        if (videoIndex < 0) throw ToolError(name + " has no video stream");
        const int audioIndex = options.audio ? FindStream(first.get(), AVMEDIA_TYPE_AUDIO) : -1;
        const AVStream* videoStream = first->streams[videoIndex];
        for (unsigned i = 0; i < first->nb_streams; ++i)
            if (static_cast<int>(i) != videoIndex && static_cast<int>(i) != audioIndex)
                first->streams[i]->discard = AVDISCARD_ALL;
        timeBase_ = videoStream->time_base;

        AVRational nominal = videoStream->avg_frame_rate;
        if (!Valid(nominal)) nominal = videoStream->r_frame_rate;
        if (!Valid(nominal)) nominal = AVRational{25, 1};

        PictureShape(first.get(), videoStream, options);

        // A file is read twice over one open: its packets first, for the
        // exact times of its pictures and sound, then decoded. What arrives
        // once (standard input, a FIFO) is planned from what its header says.
        PacketScan scan;
        const std::string format = first->iformat->name;
        const bool imageFormat = format == "image2" || (format.size() > 5 && format.compare(format.size() - 5, 5, "_pipe") == 0);
        if (!source_.streamed) {
            // Decoding reads the same packets again and says what is wrong with them.
            FfmpegLogMuted muted;
            scan = ScanPackets(first.get(), videoIndex, audioIndex, nominal);
            if (scan.times.empty()) throw ToolError(name + ": the video stream holds no pictures");
            still_ = scan.times.size() == 1;
        } else {
            still_ = imageFormat;
            // An index that came after the pictures it points to (an MP4
            // written without +faststart) sends the demuxer back to bytes
            // that a single pass has already let go.
            const AVIndexEntry* firstPicture = avformat_index_get_entry(first->streams[videoIndex], 0);
            const AVIOContext* io = source_.io.get();
            if (firstPicture && io && firstPicture->pos < io->pos - (io->buf_end - io->buffer))
                throw ToolError(name + " keeps its index after its pictures (" + format +
                                "), which a single pass cannot go back to: save it to a file and export that, "
                                "or write it with -movflags +faststart");
        }

        // The rate: asked for, or the input's within the player's 60.
        AVRational rate{options.fpsNum, options.fpsDen};
        if (!Valid(rate)) {
            bool variable = false;
            rate = source_.streamed ? nominal : HighestRate(scan.times, timeBase_, nominal, videoStream->r_frame_rate, variable);
            if (!Valid(rate)) rate = AVRational{25, 1};
            if (variable)
                notes_.push_back("at " + RateText(rate) + " fps, the highest frame rate of the input, which varies (" +
                                 RateText(videoStream->avg_frame_rate) + " fps on average): no picture is dropped");
            if (av_cmp_q(rate, AVRational{kMaxFramesPerSecond, 1}) > 0) {
                notes_.push_back("at 60 fps: the input runs at " + RateText(rate) +
                                 " fps, faster than the player's clock ticks (60 a second); pictures were dropped by time");
                rate = AVRational{kMaxFramesPerSecond, 1};
            }
        }
        av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT32_MAX);
        shape_.rate = rate.num;
        shape_.scale = rate.den;
        const double fps = av_q2d(rate);

        // The range, in seconds from the first picture.
        int64_t audioFirst = scan.audioFirst;
        if (!source_.streamed) {
            origin_ = scan.times.front();
        } else {
            origin_ = videoStream->start_time != AV_NOPTS_VALUE ? videoStream->start_time
                      : first->start_time != AV_NOPTS_VALUE ? av_rescale_q(first->start_time, AV_TIME_BASE_Q, timeBase_)
                                                            : 0;
        }
        const AVStream* audioStream = audioIndex >= 0 ? first->streams[audioIndex] : nullptr;
        if (audioStream && audioFirst == AV_NOPTS_VALUE) audioFirst = audioStream->start_time;
        const double audioStart =
            audioStream && audioFirst != AV_NOPTS_VALUE ? Seconds(audioFirst, audioStream->time_base) - Seconds(origin_, timeBase_) : 0;
        double audioLength = -1;  // seconds, unknown
        if (audioStream && !source_.streamed && scan.audioDurationsKnown)
            audioLength = Seconds(scan.audioTicks, audioStream->time_base);
        else if (audioStream && audioStream->duration > 0)
            audioLength = Seconds(audioStream->duration, audioStream->time_base);

        double videoEnd = -1;
        if (still_) {
            videoEnd = options.duration >= 0       ? options.start + options.duration
                       : audioLength > 0 ? audioStart + audioLength
                                         : options.start + kStillSeconds;
            if (options.duration < 0)
                notes_.push_back(audioLength > 0 ? "a still picture, shown as long as its sound lasts"
                                                 : "a still picture, shown for " + RateText(AVRational{static_cast<int>(kStillSeconds), 1}) +
                                                       " s (--duration sets how long)");
        } else if (!source_.streamed) {
            videoEnd = Seconds(scan.times.back() + scan.lastDuration - origin_, timeBase_);
        } else if (first->duration != AV_NOPTS_VALUE && first->duration > 0 &&
                   first->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
            const int64_t formatStart = first->start_time != AV_NOPTS_VALUE ? first->start_time : 0;
            videoEnd = Seconds(formatStart + first->duration, AV_TIME_BASE_Q) - Seconds(origin_, timeBase_);
        } else if (options.duration < 0) {
            throw ToolError(name + " (" + format +
                            ") does not say how long it is, and the export must know its frame count before it starts: "
                            "give --duration, or save it to a file and export that");
        }
        if (videoEnd >= 0 && options.start >= videoEnd)
            throw ToolError("--start " + std::to_string(options.start) + " s lies past the end of the video (" +
                            std::to_string(videoEnd) + " s)");
        double rangeEnd = videoEnd >= 0 ? videoEnd : options.start + options.duration;
        if (options.duration >= 0) rangeEnd = std::min(rangeEnd, options.start + options.duration);
        // A range shorter than one output frame still shows its picture once.
        const int64_t frames = std::max<int64_t>(1, std::llround((rangeEnd - options.start) * fps));
        if (frames > INT32_MAX) throw ToolError(name + " has too many frames for one movie");
        shape_.frameCount = static_cast<int32_t>(frames);
        startTicks_ = std::llround(options.start / av_q2d(timeBase_));
        checkLonger_ = source_.streamed && !still_ && options.duration < 0;
        if (scan.repairs > 0) repairedInScan_ = true;

        if (audioStream) {
            const AVCodecParameters* p = audioStream->codecpar;
            shape_.hasAudio = true;
            shape_.audioRate = p->sample_rate > 0 ? p->sample_rate : 48000;
            shape_.audioChannels = p->ch_layout.nb_channels == 1 ? 1 : 2;
            const int64_t rangeSamples = av_rescale(shape_.frameCount, int64_t{shape_.audioRate} * rate.den, rate.num);
            lead_ = std::llround((audioStart - options.start) * shape_.audioRate);
            int64_t samples = rangeSamples;
            if (!source_.streamed && scan.audioPackets == 0) {
                samples = 0;
                notes_.push_back("the sound stream holds no samples: the movie's sound is silence");
            } else if (audioLength >= 0) {
                samples = std::clamp<int64_t>(lead_ + std::llround(audioLength * shape_.audioRate), 0, rangeSamples);
            }
            if (samples > INT32_MAX) throw ToolError(name + ": the sound is too long for one movie");
            shape_.audioSamples = static_cast<int32_t>(samples);
        }

        // The decoding read, over the same open.
        audioIndex_ = audioStream && shape_.audioSamples > 0 ? audioIndex : -1;
        if (source_.streamed) {
            if (audioIndex_ < 0 && audioIndex >= 0) first->streams[audioIndex]->discard = AVDISCARD_ALL;
            demuxer_ = std::make_unique<Demuxer>(std::move(first), videoIndex, audioIndex_, nominal);
        } else {
            first.reset();
            if (source_.io) {
                const int64_t r = avio_seek(source_.io.get(), 0, SEEK_SET);
                if (r < 0) throw ToolError("cannot read " + name + " again from its start: " + AvErrorText(static_cast<int>(r)));
            }
            AvInput again = [&] {
                FfmpegLogMuted muted;
                return OpenDemuxer(source_, options);
            }();
            if (static_cast<int>(again->nb_streams) <= std::max(videoIndex, audioIndex))
                throw ToolError(name + " changed while it was read");
            for (unsigned i = 0; i < again->nb_streams; ++i)
                if (static_cast<int>(i) != videoIndex && static_cast<int>(i) != audioIndex_)
                    again->streams[i]->discard = AVDISCARD_ALL;
            demuxer_ = std::make_unique<Demuxer>(std::move(again), videoIndex, audioIndex_, nominal);
        }
        frameTicks_ = FrameTicks(nominal, timeBase_);
        stillEndPts_ = av_rescale_q(shape_.frameCount, av_inv_q(rate), timeBase_);

        const AVStream* decodedVideo = demuxer_->Format()->streams[videoIndex];
        Deinterlace deinterlace = Deinterlace::Off;
        const AVFieldOrder order = decodedVideo->codecpar->field_order;
        const bool interlaced = order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB || order == AV_FIELD_BT;
        if (options.deinterlace == MediaOptions::DeinterlaceMode::On) deinterlace = Deinterlace::All;
        else if (options.deinterlace == MediaOptions::DeinterlaceMode::Auto && interlaced) deinterlace = Deinterlace::Flagged;
        if (deinterlace == Deinterlace::Flagged)
            notes_.push_back("deinterlaced, as the video is interlaced (--deinterlace off keeps its fields)");
        PicturePathSettings way;
        way.width = shape_.width;
        way.height = shape_.height;
        way.rate = rate;
        way.timeBase = timeBase_;
        way.turn = turn_;
        way.deinterlace = deinterlace;
        // Decoding has a thread of its own and the filters run on the
        // export's: on two cores the two keep both busy, and filter threads
        // beside them would only add the rows their slices share and the
        // waits for one another.
        way.threads = std::thread::hardware_concurrency() <= 2 ? 1 : 0;
        pictures_ = std::make_unique<PicturePath>(way);
        filtered_.reset(Allocated(av_frame_alloc(), "a picture"));

        video_ = std::make_unique<StreamDecoder>(*demuxer_, videoIndex, options.threads, name);
        StreamDecoder* video = video_.get();
        videoAhead_ = std::make_unique<DecodeAhead>(
            [video](AVFrame* to) {
                if (!video->Next()) return false;
                av_frame_move_ref(to, video->Frame());
                return true;
            },
            [video] { return video->Failure(); });
        if (audioIndex_ >= 0) audio_ = std::make_unique<StreamDecoder>(*demuxer_, audioIndex_, options.threads, name);
    }

    ~MediaInput() override {
        videoAhead_.reset();  // stops the decoding thread before what it uses goes
        av_channel_layout_uninit(&swrLayout_);
    }
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    const SourceShape& Shape() const override { return shape_; }
    std::string Failure() const override { return failure_; }

    std::vector<std::string> Notes() const override {
        std::vector<std::string> notes = notes_;
        if (repairedInScan_ || demuxer_->Repairs() > 0)
            notes.push_back("the input's timestamps jumped and were repaired, as its format allows");
        if (!still_ && delivered_ >= 0 && shape_.frameCount - produced_ > 1 && produced_ > 0)
            notes.push_back("the input ended early: " + std::to_string(produced_) + " of " + std::to_string(shape_.frameCount) +
                            " frames; the last picture was held to the end");
        if (longer_)
            notes.push_back("the input went on past the length its header states; the movie ends there, at " +
                            std::to_string(shape_.frameCount) + " frames (--duration sets the length)");
        const int problems = FfmpegInputProblems();
        if (problems > 0 && !FfmpegLogShown())
            notes.push_back("FFmpeg reported problems in the input (kest export -v shows them)");
        return notes;
    }

    const uint8_t* Picture(int32_t frame) override {
        frame = std::clamp(frame, 0, shape_.frameCount - 1);
        while (delivered_ < frame && failure_.empty()) {
            if (picturesEnded_) {
                ++delivered_;  // the last picture stays on screen
                continue;
            }
            std::string why;
            switch (pictures_->Next(filtered_.get(), why)) {
                case PicturePath::Result::Picture:
                    ++delivered_;
                    ++produced_;
                    if (delivered_ == frame) Convert(filtered_.get());
                    av_frame_unref(filtered_.get());
                    if (delivered_ == shape_.frameCount - 1 && checkLonger_) longer_ = GoesOn();
                    break;
                case PicturePath::Result::Hungry:
                    FeedPicture();
                    break;
                case PicturePath::Result::Ended:
                    picturesEnded_ = true;
                    if (produced_ == 0) failure_ = source_.name + ": no picture could be decoded";
                    break;
                case PicturePath::Result::Failed:
                    failure_ = source_.name + ": " + why;
                    break;
            }
        }
        return picture_.data();
    }

    const int16_t* Audio(int32_t start, int32_t count) override {
        sound_.assign(static_cast<std::size_t>(std::max(count, 0)) * shape_.audioChannels, 0);
        if (!audio_) return sound_.data();
        // Calls are contiguous; a gap would be skipped over.
        while (position_ < start) TakeSamples(nullptr, static_cast<int32_t>(std::min<int64_t>(start - position_, 65536)));
        TakeSamples(sound_.data(), count);
        return sound_.data();
    }

private:
    // The export's picture size: the stored picture turned upright and with
    // square pixels, fitted into 512 x 512 unless a size is asked for.
    void PictureShape(AVFormatContext* format, const AVStream* stream, const MediaOptions& options) {
        const int32_t width = stream->codecpar->width, height = stream->codecpar->height;
        if (width <= 0 || height <= 0) throw ToolError(source_.name + ": the video stream has no picture size");
        bool sidesSwap = false;
        int degrees = 0;
        if (options.autorotate) {
            const auto* matrix =
                reinterpret_cast<const int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
            turn_ = TurnFilters(matrix, degrees, sidesSwap);
            const std::string turn = degrees == 270 ? "90° anticlockwise" : std::to_string(degrees) + "° clockwise";
            if (degrees != 0)
                notes_.push_back("turned " + turn + ", as the video says it is shown (--no-autorotate keeps it as stored)");
        }
        AVRational sar = av_guess_sample_aspect_ratio(format, const_cast<AVStream*>(stream), nullptr);
        if (!Valid(sar)) sar = AVRational{1, 1};
        double shownWidth = width * av_q2d(sar), shownHeight = height;
        if (sidesSwap) std::swap(shownWidth, shownHeight);
        if (options.width > 0) {
            shape_.width = options.width;
            shape_.height = options.height;
        } else {
            DefaultPictureSize(static_cast<int32_t>(std::clamp(std::round(shownWidth), 1.0, double{INT32_MAX})),
                               static_cast<int32_t>(shownHeight), shape_.width, shape_.height);
        }
        stride_ = (shape_.width * 3 + 3) / 4 * 4;
        picture_.assign(static_cast<std::size_t>(stride_) * shape_.height, 0);
    }

    // Whether pictures go on past the planned end: a header that said less
    // than the stream holds. One more frame may come from rounding.
    bool GoesOn() {
        int more = 0;
        while (more < 2 && failure_.empty()) {
            std::string why;
            const PicturePath::Result r = pictures_->Next(filtered_.get(), why);
            if (r == PicturePath::Result::Picture) {
                ++more;
                av_frame_unref(filtered_.get());
            } else if (r == PicturePath::Result::Hungry) {
                FeedPicture();
            } else {
                break;
            }
        }
        failure_.clear();  // what comes after the movie's end is no reason to fail it
        return more >= 2;
    }

    // Hands the filters the next decoded picture, timed from the range's start.
    void FeedPicture() {
        AVFrame* f = videoAhead_->Next();
        if (!f) {
            const std::string why = videoAhead_->Failure();
            if (!why.empty()) {
                failure_ = source_.name + ": video " + why;
                return;
            }
            const std::string ended = pictures_->End(still_ ? std::max(stillEndPts_, lastPts_ + 1) : lastPts_ + lastDuration_);
            if (!ended.empty()) failure_ = source_.name + ": " + ended;
            return;
        }
        int64_t t = f->best_effort_timestamp;
        int64_t pts = t == AV_NOPTS_VALUE ? (lastPts_ == INT64_MIN ? 0 : lastPts_ + lastDuration_) : t - origin_ - startTicks_;
        // Pictures go forward in time; one out of order shows right after.
        if (lastPts_ != INT64_MIN && pts <= lastPts_) pts = lastPts_ + 1;
        f->pts = pts;
        lastPts_ = pts;
        lastDuration_ = FrameDuration(f) > 0 ? FrameDuration(f) : frameTicks_;
        const std::string why = pictures_->Feed(f);
        if (!why.empty()) failure_ = source_.name + ": " + why;
    }

    void Convert(const AVFrame* f) {
        const int32_t w = std::min(shape_.width, f->width), h = std::min(shape_.height, f->height);
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(&picture_[static_cast<std::size_t>(shape_.height - 1 - y) * stride_],
                        f->data[0] + static_cast<std::ptrdiff_t>(y) * f->linesize[0], static_cast<std::size_t>(w) * 3);
    }

    // Moves `count` sample frames of the exported sound into `to` (or drops
    // them when `to` is null): silence before the sound, the decoded sound,
    // silence after it.
    void TakeSamples(int16_t* to, int32_t count) {
        const int channels = shape_.audioChannels;
        int32_t done = 0;
        while (done < count) {
            if (!soundBegun_ && !BeginSound()) {
                position_ += count - done;
                return;
            }
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

    // Decodes the first sound frame and places the sound by its time.
    bool BeginSound() {
        soundBegun_ = true;
        if (!DecodeSound()) return false;
        const AVFrame* f = audio_->Frame();
        if (f->best_effort_timestamp != AV_NOPTS_VALUE && f->sample_rate > 0) {
            const AVRational audioBase = demuxer_->Format()->streams[audioIndex_]->time_base;
            const double at = Seconds(f->best_effort_timestamp, audioBase) - Seconds(origin_ + startTicks_, timeBase_);
            lead_ = std::llround(at * shape_.audioRate);
        }
        TakeDecoded();
        return true;
    }

    bool DecodeSound() {
        if (audio_->Next()) return true;
        if (!audio_->Failure().empty()) failure_ = source_.name + ": sound " + audio_->Failure();
        return false;
    }

    // The decoded frame into the fifo, less what lies before the range.
    void TakeDecoded() {
        ConvertSound(audio_->Frame());
        std::size_t skip = 0;
        if (skipped_ < -lead_) {
            const int64_t frames = static_cast<int64_t>(fifo_.size()) / shape_.audioChannels;
            const int64_t n = std::min(frames, -lead_ - skipped_);
            skipped_ += n;
            skip = static_cast<std::size_t>(n) * shape_.audioChannels;
        }
        fifoAt_ = skip;
    }

    // The next sound frame into the fifo; false at the end of the sound.
    bool Refill() {
        for (;;) {
            if (!DecodeSound()) return false;
            TakeDecoded();
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
            // The source's own rate: the export resamples as the plug-in does.
            int r = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, f->sample_rate, &in,
                                        static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
            swr_.reset(raw);
            if (r >= 0) r = swr_init(swr_.get());
            av_channel_layout_uninit(&out);
            if (r < 0) {
                failure_ = source_.name + ": cannot convert the sound: " + AvErrorText(r);
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

    Source source_;
    SourceShape shape_;
    std::vector<std::string> notes_;
    bool still_ = false;
    bool repairedInScan_ = false;
    std::string turn_;
    AVRational timeBase_{1, 1};
    int64_t origin_ = 0;      // the first picture's time
    int64_t startTicks_ = 0;  // --start in the video's time base
    int64_t frameTicks_ = 1;
    int64_t stillEndPts_ = 0;

    std::unique_ptr<Demuxer> demuxer_;
    std::unique_ptr<StreamDecoder> video_;
    std::unique_ptr<DecodeAhead> videoAhead_;  // the only user of video_ from here on; goes first
    std::unique_ptr<PicturePath> pictures_;
    AvFrame filtered_;
    int64_t lastPts_ = INT64_MIN;
    int64_t lastDuration_ = 1;
    bool picturesEnded_ = false;
    bool checkLonger_ = false;  // the plan came from a header, not from the packets
    bool longer_ = false;
    int32_t delivered_ = -1;  // the frame in picture_
    int32_t produced_ = 0;    // frames that came from the input, not held over
    int32_t stride_ = 0;
    std::vector<uint8_t> picture_;

    int audioIndex_ = -1;  // the sound stream decoded, or -1
    std::unique_ptr<StreamDecoder> audio_;
    bool soundBegun_ = false;
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
    if (options.fpsNum > 0 && options.fpsDen > 0 && int64_t{options.fpsNum} > int64_t{kMaxFramesPerSecond} * options.fpsDen)
        throw UsageError("--fps: at most " + std::to_string(kMaxFramesPerSecond) +
                         ", since the player's clock ticks 60 times a second and shows no frame for less than one tick");
    return std::make_unique<MediaInput>(path, options);
}

}  // namespace kest::tool
