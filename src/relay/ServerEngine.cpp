#include "relay/ServerEngine.h"

#include "relay/AudioDecoder.h"
#include "relay/CommandEngine.h"
#include "relay/Log.h"

#include <httplib.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace parlova::relay {

ServerEngine::ServerEngine(const Options& options)
    : m_url(options.serverUrl)
    , m_model(options.serverModel)
    , m_keyFile(options.serverKeyFile)
    , m_format(options.serverFormat)
    , m_timeoutSeconds(options.serverTimeoutSeconds) {}

Started ServerEngine::load() {
    if (m_keyFile.isEmpty()) {
        m_key = qgetenv("PARLOVA_RELAIS_CLE").trimmed();
        return Done{};
    }
    QFile file(m_keyFile);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("Fichier de clé %1 illisible.").arg(m_keyFile);
    }
    m_key = file.read(4096).trimmed();
    if (m_key.isEmpty() || m_key.contains('\n') || m_key.contains('\r')) {
        return QStringLiteral("Le fichier de clé %1 doit contenir la clé seule, sur une ligne.")
            .arg(m_keyFile);
    }
    if (file.permissions() & (QFile::ReadGroup | QFile::ReadOther))
        Log::line(QStringLiteral("Attention : le fichier de clé %1 est lisible par d’autres "
                                 "utilisateurs (chmod 600 %1).")
                      .arg(m_keyFile));
    return Done{};
}

Transcription ServerEngine::transcribe(const std::vector<qint16>& samples, const QByteArray& upload,
                                       const std::optional<QString>& language) {
    const auto failed = [](const QString& why) {
        return EngineFailure::failed(QStringLiteral("serveur de transcription : ") + why);
    };
    const QUrl url(m_url);
    const QString origin = url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery |
                                        QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                               .toString(QUrl::FullyEncoded);
    QString path = url.path(QUrl::FullyEncoded);
    if (path.isEmpty())
        path = QStringLiteral("/");
    if (url.hasQuery())
        path += u'?' + url.query(QUrl::FullyEncoded);

    httplib::Client client(origin.toStdString());
    client.set_connection_timeout(m_timeoutSeconds, 0);
    client.set_read_timeout(m_timeoutSeconds, 0);
    client.set_write_timeout(m_timeoutSeconds, 0);
    client.set_follow_location(false);

    httplib::MultipartFormDataItems form;
    if (m_format == ServerFormat::Upload)
        form.push_back({"file", upload.toStdString(), "dictee.m4a", "audio/mp4"});
    else
        form.push_back({"file", CommandEngine::wav(samples, AudioDecoder::sampleRate).toStdString(),
                        "dictee.wav", "audio/wav"});
    if (!m_model.isEmpty())
        form.push_back({"model", m_model.toStdString(), {}, {}});
    if (language)
        form.push_back({"language", language->toStdString(), {}, {}});
    form.push_back({"response_format", "json", {}, {}});

    httplib::Headers headers = {{"Accept", "application/json"}};
    if (!m_key.isEmpty())
        headers.emplace("Authorization", "Bearer " + m_key.toStdString());

    // The library's time-outs apply to each read: a server that trickles its
    // answer is cut at the deadline of the whole exchange.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread deadline([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::seconds(m_timeoutSeconds), [&] { return done; }))
            client.stop();
    });
    const auto result = client.Post(path.toStdString(), headers, form);
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_all();
    deadline.join();
    if (!result)
        return failed(QStringLiteral("injoignable ou sans réponse (%1)")
                          .arg(QString::fromStdString(httplib::to_string(result.error()))));
    if (result->status != 200)
        return failed(QStringLiteral("statut %1").arg(result->status));
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(result->body), &parseError);
    const QJsonValue text = document.object().value(QStringLiteral("text"));
    if (parseError.error != QJsonParseError::NoError || !document.isObject() || !text.isString())
        return failed(
            QStringLiteral("réponse sans texte JSON (%1 octets)").arg(result->body.size()));
    return text.toString();
}

} // namespace parlova::relay
