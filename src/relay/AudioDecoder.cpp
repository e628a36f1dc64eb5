#include "relay/AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace parlova::relay {

namespace {

struct Source {
    const QByteArray& bytes;
    qint64 position = 0;
};

int readSource(void* opaque, uint8_t* buffer, int size) {
    auto* source = static_cast<Source*>(opaque);
    const qint64 left = source->bytes.size() - source->position;
    if (left <= 0)
        return AVERROR_EOF;
    const int count = int(std::min<qint64>(left, size));
    std::memcpy(buffer, source->bytes.constData() + source->position, size_t(count));
    source->position += count;
    return count;
}

int64_t seekSource(void* opaque, int64_t offset, int whence) {
    auto* source = static_cast<Source*>(opaque);
    const qint64 size = source->bytes.size();
    if (whence & AVSEEK_SIZE)
        return size;
    qint64 target = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = source->position + offset;
        break;
    case SEEK_END:
        target = size + offset;
        break;
    default:
        return -1;
    }
    if (target < 0 || target > size)
        return -1;
    source->position = target;
    return target;
}

bool acceptedCodec(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_OPUS:
    case AV_CODEC_ID_VORBIS:
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_ALAC:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_U8:
        return true;
    default:
        return false;
    }
}

// Everything FFmpeg allocates for one decoding, freed in one place.
struct Session {
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&resampler);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

class Decoding {
public:
    Decoding(const QByteArray& bytes, double maxSeconds)
        : m_source{bytes}
        , m_maxSamples(size_t(maxSeconds * AudioDecoder::sampleRate)) {}

    AudioDecoder::Decoded run() {
        const int stream = open();
        if (stream < 0)
            return stream == declaredTooLong ? AudioDecoder::Failure::TooLong
                                             : AudioDecoder::Failure::Unreadable;
        std::vector<qint16> samples;
        bool tooLong = false;
        while (!tooLong && av_read_frame(m_s.format, m_s.packet) >= 0) {
            if (m_s.packet->stream_index == stream) {
                // A damaged packet is skipped; the rest of the file may be fine.
                if (avcodec_send_packet(m_s.codec, m_s.packet) >= 0)
                    tooLong = !receive(samples);
            }
            av_packet_unref(m_s.packet);
        }
        if (!tooLong && avcodec_send_packet(m_s.codec, nullptr) >= 0)
            tooLong = !receive(samples);
        if (!tooLong && m_s.resampler)
            tooLong = !convert(nullptr, 0, samples);
        if (m_failedResampler)
            return AudioDecoder::Failure::Unreadable;
        if (tooLong)
            return AudioDecoder::Failure::TooLong;
        if (samples.empty())
            return m_decodedAnything ? AudioDecoder::Failure::Empty
                                     : AudioDecoder::Failure::Unreadable;
        return samples;
    }

private:
    static constexpr int declaredTooLong = -2;
    // What a take may declare: anything else is refused before any sample
    // is decoded, so that a tiny file cannot claim hours of audio.
    static constexpr int minRate = 4000;
    static constexpr int maxRate = 192000;
    static constexpr int maxChannels = 8;
    // Input samples resampled at once: the resampler's buffers stay small
    // whatever frame size a file declares.
    static constexpr int sliceSamples = 4096;

    int open() {
        constexpr int bufferSize = 16 * 1024;
        auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
        if (!buffer)
            return -1;
        m_s.io =
            avio_alloc_context(buffer, bufferSize, 0, &m_source, readSource, nullptr, seekSource);
        m_s.format = avformat_alloc_context();
        if (!m_s.io || !m_s.format) {
            if (!m_s.io)
                av_free(buffer);
            return -1;
        }
        m_s.format->pb = m_s.io;
        m_s.format->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "format_whitelist",
                    "mov,mp4,m4a,3gp,3g2,mj2,wav,ogg,matroska,webm,flac", 0);
        const int opened = avformat_open_input(&m_s.format, nullptr, nullptr, &options);
        av_dict_free(&options);
        if (opened < 0)
            return -1; // avformat_open_input freed the context
        if (avformat_find_stream_info(m_s.format, nullptr) < 0)
            return -1;
        const AVCodec* decoder = nullptr;
        const int stream = av_find_best_stream(m_s.format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (stream < 0 || !decoder || !acceptedCodec(decoder->id))
            return -1;
        const AVStream* audio = m_s.format->streams[stream];
        const AVCodecParameters* parameters = audio->codecpar;
        if (parameters->sample_rate < minRate || parameters->sample_rate > maxRate ||
            parameters->ch_layout.nb_channels < 1 ||
            parameters->ch_layout.nb_channels > maxChannels)
            return -1;
        double declared = 0;
        if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0)
            declared = double(audio->duration) * av_q2d(audio->time_base);
        else if (m_s.format->duration != AV_NOPTS_VALUE && m_s.format->duration > 0)
            declared = double(m_s.format->duration) / AV_TIME_BASE;
        if (declared * AudioDecoder::sampleRate > double(m_maxSamples))
            return declaredTooLong;
        m_s.codec = avcodec_alloc_context3(decoder);
        if (!m_s.codec || avcodec_parameters_to_context(m_s.codec, parameters) < 0 ||
            avcodec_open2(m_s.codec, decoder, nullptr) < 0)
            return -1;
        return stream;
    }

    // Converts everything the decoder has ready; false once over the limit.
    bool receive(std::vector<qint16>& out) {
        while (avcodec_receive_frame(m_s.codec, m_s.frame) >= 0) {
            m_decodedAnything = true;
            const bool ok = prepareResampler() && convertFrame(out);
            av_frame_unref(m_s.frame);
            if (!ok)
                return false;
        }
        return true;
    }

    // The frame in slices of input (a decoder may change its rate or layout
    // mid-stream, which is refused as unreadable).
    bool convertFrame(std::vector<qint16>& out) {
        const AVFrame* frame = m_s.frame;
        const int channels = frame->ch_layout.nb_channels;
        if (frame->sample_rate != m_rate || channels < 1 || channels > maxChannels ||
            frame->format != m_sampleFormat) {
            m_failedResampler = true;
            return false;
        }
        const auto format = static_cast<AVSampleFormat>(frame->format);
        const bool planar = av_sample_fmt_is_planar(format);
        const int planes = planar ? channels : 1;
        const int step = av_get_bytes_per_sample(format) * (planar ? 1 : channels);
        for (int offset = 0; offset < frame->nb_samples; offset += sliceSamples) {
            const uint8_t* slice[maxChannels] = {};
            for (int plane = 0; plane < planes; ++plane)
                slice[plane] = frame->extended_data[plane] + size_t(offset) * size_t(step);
            if (!convert(slice, std::min(sliceSamples, frame->nb_samples - offset), out))
                return false;
        }
        return true;
    }

    bool prepareResampler() {
        if (m_s.resampler)
            return true;
        m_rate = m_s.frame->sample_rate;
        m_sampleFormat = m_s.frame->format;
        AVChannelLayout input;
        if (m_s.frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
            m_s.frame->ch_layout.nb_channels == 0)
            av_channel_layout_default(&input, std::max(m_s.frame->ch_layout.nb_channels, 1));
        else if (av_channel_layout_copy(&input, &m_s.frame->ch_layout) < 0)
            return false;
        AVChannelLayout mono;
        av_channel_layout_default(&mono, 1);
        const int made = swr_alloc_set_opts2(
            &m_s.resampler, &mono, AV_SAMPLE_FMT_S16, AudioDecoder::sampleRate, &input,
            static_cast<AVSampleFormat>(m_s.frame->format), m_s.frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&input);
        if (made < 0 || swr_init(m_s.resampler) < 0) {
            swr_free(&m_s.resampler);
            m_failedResampler = true;
            return false;
        }
        return true;
    }

    bool convert(const uint8_t** input, int count, std::vector<qint16>& out) {
        const int room = swr_get_out_samples(m_s.resampler, count);
        if (room <= 0)
            return true;
        // Over the limit before anything more is allocated; a slice's room is small.
        if (out.size() > m_maxSamples)
            return false;
        const size_t start = out.size();
        out.resize(start + size_t(room));
        auto* target = reinterpret_cast<uint8_t*>(out.data() + start);
        const int converted = swr_convert(m_s.resampler, &target, room, input, count);
        out.resize(start + size_t(std::max(converted, 0)));
        return out.size() <= m_maxSamples;
    }

    Source m_source;
    size_t m_maxSamples;
    Session m_s;
    bool m_decodedAnything = false;
    bool m_failedResampler = false;
    int m_rate = 0;
    int m_sampleFormat = -1;
};

} // namespace

AudioDecoder::Decoded AudioDecoder::decode(const QByteArray& file, double maxSeconds) {
    // A header may declare any size for its tags and boxes, and demuxers
    // allocate what they are told before reading it: a 645-byte WAV naming a
    // 2 GB INFO tag cost 2 GB and 8 s. No block that a take of a few
    // megabytes needs comes near this bound, so anything above it is a lie.
    static const bool bounded = [] {
        av_max_alloc(16 * 1024 * 1024);
        return true;
    }();
    Q_UNUSED(bounded);
    av_log_set_level(AV_LOG_QUIET);
    return Decoding(file, maxSeconds).run();
}

} // namespace parlova::relay
