#include "core/media/DictationAudioWriter.h"

#include "core/media/AudioLevel.h"
#include "core/media/DictationTakeFiles.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <utility>
#include <vector>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace parlova::core {

namespace {

Q_LOGGING_CATEGORY(takeLog, "parlova.take")

// The resampler's own limit on channels.
constexpr int maxChannels = 64;
// Larger buffers are converted in slices, so the scratch space stays small
// whatever the caller hands over.
constexpr qsizetype sliceFrames = 1 << 15;
constexpr int ioBufferSize = 1 << 16;

// FFmpeg is opened on the first take rather than at start: its codec
// libraries are some eighty shared objects and 15 MiB resident that an idle
// program does without. The pointers below carry the names of FFmpeg's
// functions and hide them in this namespace, so the code calls them as usual.
// clang-format off
#define PARLOVA_FFMPEG_FUNCTIONS(X) \
    X(av_channel_layout_default) X(av_channel_layout_uninit) X(av_dict_free) X(av_dict_set) \
    X(av_frame_alloc) X(av_frame_free) X(av_frame_get_buffer) X(av_frame_make_writable) \
    X(av_free) X(av_freep) X(av_log_set_level) X(av_malloc) X(av_strdup) X(av_strerror) \
    X(av_packet_alloc) X(av_packet_free) X(av_packet_rescale_ts) X(av_packet_unref) \
    X(avcodec_alloc_context3) X(avcodec_find_encoder) X(avcodec_find_encoder_by_name) \
    X(avcodec_free_context) X(avcodec_open2) X(avcodec_parameters_from_context) \
    X(avcodec_receive_packet) X(avcodec_send_frame) \
    X(av_guess_format) X(av_write_frame) X(av_write_trailer) X(avformat_alloc_output_context2) \
    X(avformat_free_context) X(avformat_new_stream) X(avformat_write_header) \
    X(avio_alloc_context) X(avio_context_free) X(avio_flush) \
    X(swr_alloc_set_opts2) X(swr_convert) X(swr_free) X(swr_get_out_samples) X(swr_init) \
    X(swr_set_matrix)
// clang-format on

#define PARLOVA_FFMPEG_POINTER(name) decltype(&::name) name = nullptr;
PARLOVA_FFMPEG_FUNCTIONS(PARLOVA_FFMPEG_POINTER)
#undef PARLOVA_FFMPEG_POINTER

void* openLibrary(const char* stem, int major) {
    const QByteArray name = QByteArray(stem) + ".so." + QByteArray::number(major);
    void* library = dlopen(name.constData(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        qCWarning(takeLog) << "cannot load" << name << dlerror();
    return library;
}

QString avText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return QString::fromLocal8Bit(text.data());
}

int writeToDescriptor(void* opaque, uint8_t* data, int size) {
    const int descriptor = *static_cast<int*>(opaque);
    int written = 0;
    while (written < size) {
        const ssize_t result = ::write(descriptor, data + written, size - written);
        if (result < 0) {
            if (errno == EINTR)
                continue;
            return AVERROR(errno);
        }
        written += static_cast<int>(result);
    }
    return size;
}

int64_t seekDescriptor(void* opaque, int64_t offset, int whence) {
    const int descriptor = *static_cast<int*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat status {};
        if (::fstat(descriptor, &status) != 0)
            return AVERROR(errno);
        return status.st_size;
    }
    const off_t position = ::lseek(descriptor, offset, whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : position;
}

} // namespace

// The FFmpeg side of a take: resampler, AAC encoder and MPEG-4 muxer writing
// to the take file's descriptor. Every call reports failure as a value.
struct DictationAudioWriter::Encoder {
    QByteArray path;
    int descriptor = -1;
    const AVOutputFormat* container = nullptr;
    AVIOContext* io = nullptr;
    AVFormatContext* muxer = nullptr;
    AVStream* stream = nullptr; // owned by muxer
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVFrame* frame = nullptr; // the encoder frame being filled
    AVPacket* packet = nullptr;
    int filled = 0; // samples waiting in frame
    int64_t nextPts = 0;
    bool wroteAudio = false;
    bool failureLogged = false;
    std::vector<float> converted; // output of the resampler for one slice

    ~Encoder() {
        closeMuxer();
        swr_free(&resampler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (descriptor >= 0)
            ::close(descriptor);
    }

    Done<Error> open(const InputFormat& format) {
        container = av_guess_format("ipod", nullptr, nullptr);
        if (container == nullptr)
            return failure(Error::unsupportedFormat, "MPEG-4 audio muxer unavailable");
        if (const Done<Error> done = openEncoder(); !done)
            return done;
        if (const Done<Error> done = openResampler(format); !done)
            return done;
        return openMuxer(false);
    }

    Done<Error> openEncoder() {
        const AVCodec* aac = avcodec_find_encoder_by_name("aac");
        if (aac == nullptr)
            aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (aac == nullptr)
            return failure(Error::unsupportedFormat, "AAC encoder unavailable");
        codec = avcodec_alloc_context3(aac);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (codec == nullptr || frame == nullptr || packet == nullptr)
            return Error::conversionFailed;

        codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec->sample_rate = sampleRate;
        codec->ch_layout = AV_CHANNEL_LAYOUT_MONO;
        codec->bit_rate = bitRate;
        codec->profile = FF_PROFILE_AAC_LOW;
        codec->time_base = AVRational{1, sampleRate};
        if ((container->flags & AVFMT_GLOBALHEADER) != 0)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // The "fast" coder: the default "twoloop" search costs three times
        // as much CPU on speech, too slow for capture on a busy machine,
        // without better transcripts at this bit rate.
        AVDictionary* options = nullptr;
        av_dict_set(&options, "aac_coder", "fast", 0);
        const int code = avcodec_open2(codec, aac, &options);
        av_dict_free(&options);
        if (code < 0)
            return failure(Error::unsupportedFormat, "cannot open the AAC encoder", code);

        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = sampleRate;
        frame->ch_layout = AV_CHANNEL_LAYOUT_MONO;
        frame->nb_samples = codec->frame_size > 0 ? codec->frame_size : 1024;
        if (av_frame_get_buffer(frame, 0) < 0)
            return Error::conversionFailed;
        return std::monostate{};
    }

    // The muxer writes the file from its start. A take without audio is
    // written as an empty fragmented file: the plain layout would leave its
    // audio track out altogether.
    Done<Error> openMuxer(bool emptyTake) {
        auto* ioBuffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
        if (ioBuffer == nullptr)
            return Error::conversionFailed;
        io = avio_alloc_context(ioBuffer, ioBufferSize, 1, &descriptor, nullptr, writeToDescriptor,
                                seekDescriptor);
        if (io == nullptr) {
            av_free(ioBuffer);
            return Error::conversionFailed;
        }
        if (avformat_alloc_output_context2(&muxer, container, nullptr, nullptr) < 0 || !muxer)
            return failure(Error::unsupportedFormat, "cannot set up the MPEG-4 audio muxer");
        muxer->pb = io;
        muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
        muxer->url = av_strdup(path.constData());
        stream = avformat_new_stream(muxer, nullptr);
        if (stream == nullptr || muxer->url == nullptr ||
            avcodec_parameters_from_context(stream->codecpar, codec) < 0)
            return Error::conversionFailed;
        stream->time_base = codec->time_base;

        AVDictionary* options = nullptr;
        if (emptyTake)
            av_dict_set(&options, "movflags", "+empty_moov", 0);
        const int code = avformat_write_header(muxer, &options);
        av_dict_free(&options);
        if (code < 0)
            return failure(Error::writeFailed, "cannot write the file header", code);
        return std::monostate{};
    }

    void closeMuxer() {
        avformat_free_context(muxer);
        muxer = nullptr;
        stream = nullptr;
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    Done<Error> restartAsEmptyTake() {
        closeMuxer();
        if (::ftruncate(descriptor, 0) != 0 || ::lseek(descriptor, 0, SEEK_SET) != 0) {
            const int error = errno;
            return failure(Error::writeFailed, "cannot rewrite the file", AVERROR(error));
        }
        return openMuxer(true);
    }

    Done<Error> openResampler(const InputFormat& format) {
        const auto inputRate = static_cast<int>(std::lround(format.sampleRate));
        AVChannelLayout inputLayout{};
        av_channel_layout_default(&inputLayout, format.channelCount);
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        const int code = swr_alloc_set_opts2(
            &resampler, &mono, AV_SAMPLE_FMT_FLTP, sampleRate, &inputLayout,
            format.interleaved ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_FLTP, inputRate, 0, nullptr);
        av_channel_layout_uninit(&inputLayout);
        if (code < 0 || resampler == nullptr)
            return failure(Error::unsupportedFormat, "cannot set up the resampler", code);
        if (format.channelCount > 1) {
            // Every microphone channel counts the same (arrays have no
            // "front" or "surround"), and the mix never gains above unity.
            const std::vector<double> matrix(format.channelCount, 1.0 / format.channelCount);
            if (const int matrixCode =
                    swr_set_matrix(resampler, matrix.data(), format.channelCount);
                matrixCode < 0)
                return failure(Error::unsupportedFormat, "cannot set the downmix", matrixCode);
        }
        if (const int initCode = swr_init(resampler); initCode < 0)
            return failure(Error::unsupportedFormat, "cannot start the resampler", initCode);
        return std::monostate{};
    }

    // Converts one slice (or, with no input, drains the resampler) and
    // encodes every complete frame.
    Done<Error> convert(const uint8_t** input, int frames) {
        int produced = 0;
        return convert(input, frames, produced);
    }

    Done<Error> convert(const uint8_t** input, int frames, int& produced) {
        const int capacity = swr_get_out_samples(resampler, frames);
        if (capacity < 0)
            return failure(Error::conversionFailed, "resampler out of step", capacity);
        converted.resize(std::max<std::size_t>(converted.size(), capacity + 1));
        auto* output = reinterpret_cast<uint8_t*>(converted.data());
        produced =
            swr_convert(resampler, &output, static_cast<int>(converted.size()), input, frames);
        if (produced < 0)
            return failure(Error::conversionFailed, "resampling failed", produced);
        return encode(converted.data(), produced);
    }

    Done<Error> encode(const float* samples, int count) {
        while (count > 0) {
            if (filled == 0 && av_frame_make_writable(frame) < 0)
                return Error::conversionFailed;
            const int room = frame->nb_samples - filled;
            const int taken = std::min(room, count);
            // The encoder rejects a whole frame for one NaN or infinity, and
            // a broken sample must not cost the take: it becomes silence.
            std::transform(samples, samples + taken,
                           reinterpret_cast<float*>(frame->data[0]) + filled, [](float sample) {
                               return std::isfinite(sample) ? std::clamp(sample, -1.0f, 1.0f)
                                                            : 0.0f;
                           });
            filled += taken;
            samples += taken;
            count -= taken;
            if (filled == frame->nb_samples) {
                if (const Done<Error> done = sendFilledFrame(); !done)
                    return done;
            }
        }
        return std::monostate{};
    }

    Done<Error> sendFilledFrame() {
        const int fullSize = frame->nb_samples;
        if (filled < fullSize) {
            if ((codec->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0) {
                frame->nb_samples = filled;
            } else {
                std::fill(reinterpret_cast<float*>(frame->data[0]) + filled,
                          reinterpret_cast<float*>(frame->data[0]) + fullSize, 0.0f);
            }
        }
        frame->pts = nextPts;
        nextPts += frame->nb_samples;
        const int code = avcodec_send_frame(codec, frame);
        frame->nb_samples = fullSize;
        filled = 0;
        if (code < 0)
            return failure(Error::conversionFailed, "the encoder refused a frame", code);
        return drainPackets();
    }

    Done<Error> drainPackets() {
        for (;;) {
            const int code = avcodec_receive_packet(codec, packet);
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
                return std::monostate{};
            if (code < 0)
                return failure(Error::conversionFailed, "encoding failed", code);
            packet->stream_index = stream->index;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            const int written = av_write_frame(muxer, packet);
            av_packet_unref(packet);
            wroteAudio = true;
            if (written < 0)
                return failure(Error::writeFailed, "cannot write audio", written);
        }
    }

    // End of input: the resampler's tail, the last partial frame, the
    // encoder's delayed frames, then the index at the end of the file.
    Done<Error> close() {
        for (int produced = 1; produced > 0;) {
            if (const Done<Error> done = convert(nullptr, 0, produced); !done)
                return done;
        }
        if (filled > 0) {
            if (const Done<Error> done = sendFilledFrame(); !done)
                return done;
        }
        if (const int code = avcodec_send_frame(codec, nullptr); code < 0 && code != AVERROR_EOF)
            return failure(Error::conversionFailed, "cannot flush the encoder", code);
        if (const Done<Error> done = drainPackets(); !done)
            return done;
        if (!wroteAudio) {
            if (const Done<Error> done = restartAsEmptyTake(); !done)
                return done;
        }
        if (const int code = av_write_trailer(muxer); code < 0)
            return failure(Error::writeFailed, "cannot write the file index", code);
        avio_flush(io);
        if (io->error < 0)
            return failure(Error::writeFailed, "cannot write the file", io->error);
        const int closing = descriptor;
        descriptor = -1;
        if (::close(closing) != 0) {
            const int error = errno;
            return failure(Error::writeFailed, "cannot close the file", AVERROR(error));
        }
        return std::monostate{};
    }

    // Logs the first failure of the take only: once the disk is full, every
    // later buffer fails the same way.
    Error failure(Error error, const char* what, int code = 0) {
        if (std::exchange(failureLogged, true))
            return error;
        if (code < 0)
            qCWarning(takeLog).noquote() << what << ':' << avText(code);
        else
            qCWarning(takeLog).noquote() << what;
        return error;
    }
};

QString DictationAudioWriter::message(Error error) {
    switch (error) {
    case Error::fileNotCreated:
        return QStringLiteral("Le fichier de la prise n’a pas pu être créé.");
    case Error::unsupportedFormat:
        return QStringLiteral("Ce format audio ne peut pas être converti.");
    case Error::conversionFailed:
        return QStringLiteral("La conversion audio a échoué.");
    case Error::writeFailed:
        return QStringLiteral("Le fichier de la prise n’a pas pu être écrit.");
    }
    return {};
}

Done<DictationAudioWriter::Error> DictationAudioWriter::loadEncoder() {
    static const bool loaded = [] {
        const std::array<void*, 4> libraries = {
            openLibrary("libavutil", LIBAVUTIL_VERSION_MAJOR),
            openLibrary("libavcodec", LIBAVCODEC_VERSION_MAJOR),
            openLibrary("libavformat", LIBAVFORMAT_VERSION_MAJOR),
            openLibrary("libswresample", LIBSWRESAMPLE_VERSION_MAJOR)};
        if (std::find(libraries.begin(), libraries.end(), nullptr) != libraries.end())
            return false;
        bool complete = true;
        const auto find = [&](auto& pointer, const char* name) {
            for (void* library : libraries) {
                if (void* symbol = dlsym(library, name)) {
                    pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(symbol);
                    return;
                }
            }
            qCWarning(takeLog) << "FFmpeg lacks" << name;
            complete = false;
        };
#define PARLOVA_FFMPEG_FIND(name) find(name, #name);
        PARLOVA_FFMPEG_FUNCTIONS(PARLOVA_FFMPEG_FIND)
#undef PARLOVA_FFMPEG_FIND
        if (complete) {
            // The encoder prints its statistics on standard error at every
            // take; our own log already says what matters.
            av_log_set_level(AV_LOG_ERROR);
        }
        return complete;
    }();
    if (!loaded)
        return Error::unsupportedFormat;
    return std::monostate{};
}

DictationAudioWriter::DictationAudioWriter(QString path, InputFormat format,
                                           std::unique_ptr<Encoder> encoder)
    : m_path(std::move(path))
    , m_format(format)
    , m_encoder(std::move(encoder)) {}

DictationAudioWriter::~DictationAudioWriter() = default;

Result<std::unique_ptr<DictationAudioWriter>, DictationAudioWriter::Error>
DictationAudioWriter::create(const QString& path, const InputFormat& format) {
    if (!std::isfinite(format.sampleRate) || format.sampleRate < 1.0 ||
        format.sampleRate > 1'000'000.0 || format.channelCount < 1 ||
        format.channelCount > maxChannels)
        return Error::unsupportedFormat;

    if (const Done<Error> loaded = loadEncoder(); !loaded)
        return loaded.error();

    auto encoder = std::make_unique<Encoder>();
    encoder->path = QFile::encodeName(path);
    encoder->descriptor = DictationTakeFiles::createExclusive(path);
    if (encoder->descriptor < 0) {
        const int error = errno;
        qCWarning(takeLog).noquote() << "cannot create the take file:" << avText(AVERROR(error));
        return Error::fileNotCreated;
    }
    if (const Done<Error> opened = encoder->open(format); !opened) {
        encoder.reset();
        QFile::remove(path);
        return opened.error();
    }
    return std::unique_ptr<DictationAudioWriter>(
        new DictationAudioWriter(path, format, std::move(encoder)));
}

float DictationAudioWriter::measure(const Buffer& buffer, int channelCount) {
    if (buffer.frames <= 0 || buffer.planes.empty())
        return AudioLevel::floorDecibels;
    const auto frames = static_cast<std::size_t>(buffer.frames);
    if (buffer.planes.size() == 1)
        return AudioLevel::loudestChannelDecibels({buffer.planes[0], frames * channelCount},
                                                  channelCount);
    float loudest = AudioLevel::floorDecibels;
    for (const float* plane : buffer.planes)
        loudest = std::max(loudest, AudioLevel::decibels({plane, frames}));
    return loudest;
}

Result<float, DictationAudioWriter::Error> DictationAudioWriter::append(const Buffer& buffer) {
    const std::size_t expectedPlanes = m_format.interleaved ? 1 : m_format.channelCount;
    const bool wellFormed =
        buffer.frames == 0 || (buffer.frames > 0 && buffer.planes.size() == expectedPlanes &&
                               std::none_of(buffer.planes.begin(), buffer.planes.end(),
                                            [](const float* plane) { return plane == nullptr; }));
    const float level =
        wellFormed ? measure(buffer, m_format.channelCount) : AudioLevel::floorDecibels;

    const std::lock_guard lock(m_lock);
    m_soundCheck.record(level);
    if (!wellFormed)
        return Error::conversionFailed;
    if (const Done<Error> converted = convert(&buffer); !converted)
        return converted.error();
    return level;
}

Result<float, DictationAudioWriter::Error>
DictationAudioWriter::appendInterleaved(std::span<const float> samples) {
    const float* plane = samples.data();
    const auto channels = static_cast<std::size_t>(m_format.channelCount);
    if (!m_format.interleaved || samples.size() % channels != 0)
        return Error::conversionFailed;
    return append({{&plane, 1}, static_cast<qsizetype>(samples.size() / channels)});
}

Done<DictationAudioWriter::Error> DictationAudioWriter::convert(const Buffer* buffer) {
    if (!m_encoder)
        return std::monostate{};
    if (buffer == nullptr)
        return m_encoder->close();

    for (qsizetype start = 0; start < buffer->frames; start += sliceFrames) {
        const qsizetype frames = std::min(sliceFrames, buffer->frames - start);
        std::array<const uint8_t*, maxChannels> input{};
        for (std::size_t plane = 0; plane < buffer->planes.size(); ++plane) {
            const qsizetype offset = m_format.interleaved ? start * m_format.channelCount : start;
            input[plane] = reinterpret_cast<const uint8_t*>(buffer->planes[plane] + offset);
        }
        if (const Done<Error> done = m_encoder->convert(input.data(), static_cast<int>(frames));
            !done)
            return done;
    }
    return std::monostate{};
}

Result<SoundCheck, DictationAudioWriter::Error> DictationAudioWriter::finish() {
    const std::lock_guard lock(m_lock);
    if (m_encoder) {
        if (const Done<Error> closed = convert(nullptr); !closed)
            m_finishError = closed.error();
        // Finished or failed, the file is done with: a failed flush leaves
        // nothing that a later call could repair.
        m_encoder.reset();
    }
    if (m_finishError)
        return *m_finishError;
    return m_soundCheck;
}

} // namespace parlova::core
