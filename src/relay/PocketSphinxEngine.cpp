#include "relay/PocketSphinxEngine.h"

#include "relay/Log.h"

#include <QFile>

#include <pocketsphinx.h>

namespace parlova::relay {

PocketSphinxEngine::PocketSphinxEngine() = default;

PocketSphinxEngine::~PocketSphinxEngine() {
    if (m_decoder)
        ps_free(m_decoder);
    if (m_config)
        cmd_ln_free_r(m_config);
}

Started PocketSphinxEngine::load() {
    const QByteArray hmm = QFile::encodeName(modelDir + QStringLiteral("/en-us"));
    const QByteArray lm = QFile::encodeName(modelDir + QStringLiteral("/en-us.lm.bin"));
    const QByteArray dict = QFile::encodeName(modelDir + QStringLiteral("/cmudict-en-us.dict"));
    for (const QByteArray& path : {hmm, lm, dict}) {
        if (!QFile::exists(QFile::decodeName(path))) {
            return QStringLiteral("Modèle PocketSphinx introuvable : %1 (paquet "
                                  "pocketsphinx-en-us).")
                .arg(QFile::decodeName(path));
        }
    }
    m_config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                           "-dict", dict.constData(), "-logfn", "/dev/null", nullptr);
    if (m_config)
        m_decoder = ps_init(m_config);
    if (!m_decoder) {
        return QStringLiteral("PocketSphinx n’a pas pu charger son modèle (%1).").arg(modelDir);
    }
    return Done{};
}

Transcription PocketSphinxEngine::transcribe(const std::vector<qint16>& samples,
                                             const QByteArray& /*upload*/,
                                             const std::optional<QString>& language) {
    if (!m_decoder)
        return EngineFailure::misconfigured(QStringLiteral("modèle non chargé"));
    if (language && *language != u"en")
        Log::line(QStringLiteral("PocketSphinx ne connaît que l’anglais (langue demandée : %1)")
                      .arg(*language));
    const std::lock_guard lock(m_mutex);
    if (ps_start_utt(m_decoder) < 0)
        return EngineFailure::failed(QStringLiteral("ps_start_utt"));
    // Fed in pieces of one second, as a stream would be.
    constexpr size_t piece = 16000;
    for (size_t offset = 0; offset < samples.size(); offset += piece) {
        const size_t count = std::min(piece, samples.size() - offset);
        if (ps_process_raw(m_decoder, samples.data() + offset, count, FALSE, FALSE) < 0) {
            ps_end_utt(m_decoder);
            return EngineFailure::failed(QStringLiteral("ps_process_raw"));
        }
    }
    if (ps_end_utt(m_decoder) < 0)
        return EngineFailure::failed(QStringLiteral("ps_end_utt"));
    int32 score = 0;
    const char* hypothesis = ps_get_hyp(m_decoder, &score);
    return hypothesis ? QString::fromUtf8(hypothesis) : QString();
}

} // namespace parlova::relay
