#include "app/snapshot/Snapshots.h"

#include "app/controllers/StatusAppearance.h"
#include "app/controllers/SystemClock.h"
#include "app/pill/PillController.h"
#include "app/pill/PillView.h"
#include "app/snapshot/SampleAccount.h"
#include "app/snapshot/SnapshotSession.h"
#include "app/snapshot/SnapshotSettings.h"
#include "app/windows/StatusMenu.h"
#include "core/domain/DictationFailure.h"
#include "core/texts/Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QSaveFile>
#include <QTextStream>
#include <QWidget>

#include <QCoro/QCoroTimer>

#include <chrono>

namespace parlova::app {

using Screen = WindowCoordinator::Screen;

namespace {

QCoro::Task<> settle() {
    co_await QCoro::sleepFor(std::chrono::milliseconds(Snapshots::settleMs));
}

// A picture that cannot be made is left out; the series goes on.
void writePicture(const QPixmap& picture, const QString& folder, const QString& name) {
    if (picture.isNull())
        return;
    picture.save(QDir(folder).filePath(name + QStringLiteral(".png")), "PNG");
}

void writeText(const QString& text, const QString& folder, const QString& name) {
    QSaveFile file(QDir(folder).filePath(name + QStringLiteral(".txt")));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(text.toUtf8());
    file.commit();
}

QCoro::Task<> shootPill(PillController& pill, PillState state, QString name, QString folder) {
    pill.setLevel(0.6f);
    pill.present(state);
    co_await settle();
    if (PillView* view = pill.view())
        writePicture(view->grab(), folder, name);
}

} // namespace

std::optional<QString> Snapshots::folder(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--capturer"));
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(at + 1);
}

QCoro::Task<> Snapshots::shoot(Screen screen, WindowCoordinator& windows, QString name,
                               QString folder) {
    QWidget* window = windows.show(screen);
    co_await settle();
    writePicture(window->grab(), folder, name);
    windows.close(screen);
}

QCoro::Task<> Snapshots::capture(QString folder) {
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << QStringLiteral("Impossible de créer le dossier %1.\n").arg(folder);
        QCoreApplication::exit(1);
        co_return;
    }

    SystemClock clock;
    StatusModel status;
    status.setMicrophone(core::Readiness::Microphone::granted);
    status.setHoldKey(core::HoldKey::function);
    SnapshotSettings settings;
    SnapshotSession session;
    WindowCoordinator windows(status, settings, session, clock);

    windows.signIn().setEmail(SampleAccount::email);
    co_await shoot(Screen::welcome, windows, QStringLiteral("connexion-adresse"), folder);
    co_await windows.signIn().requestCode();
    co_await shoot(Screen::welcome, windows, QStringLiteral("connexion-code"), folder);

    const QDateTime now = clock.now();
    const core::Account free = SampleAccount::free(now);
    const core::Account subscriber = SampleAccount::subscriber(now);
    status.setSignedIn(true);
    status.setAccount(free);
    co_await shoot(Screen::welcome, windows, QStringLiteral("autorisations"), folder);
    co_await shoot(Screen::settings, windows, QStringLiteral("reglages"), folder);
    co_await shoot(Screen::pro, windows, QStringLiteral("pro-gratuit"), folder);
    co_await shoot(Screen::referral, windows, QStringLiteral("parrainage"), folder);

    const QString ignored = QStringLiteral("H4T9WX");
    windows.signIn().prefill(ignored);
    windows.referral().setIgnoredCode(ignored);
    co_await shoot(Screen::referral, windows, QStringLiteral("parrainage-deja-connecte"), folder);

    status.setAccount(SampleAccount::trial(now));
    co_await shoot(Screen::pro, windows, QStringLiteral("pro-essai"), folder);
    status.setAccount(subscriber);
    co_await shoot(Screen::pro, windows, QStringLiteral("pro-abonne"), folder);

    StatusMenu menu(windows, [] {});
    const QString ready = core::Texts::ready(StatusAppearance::keyName(status.holdKey()));
    for (const auto& [name, account] : {std::pair{QStringLiteral("menu-gratuit"), free},
                                        std::pair{QStringLiteral("menu-pro"), subscriber}}) {
        menu.update(ready, account);
        writeText(menu.visibleLines().join(u'\n'), folder, name);
    }

    PillController pill;
    co_await shootPill(pill, PillState::listening(), QStringLiteral("pastille-ecoute"), folder);
    co_await shootPill(pill, PillState::transcribing(), QStringLiteral("pastille-transcription"),
                       folder);
    co_await shootPill(pill, PillState::message(core::DictationFailure::noSound().message()),
                       QStringLiteral("pastille-message"), folder);
    co_await shootPill(pill,
                       PillState::message(core::DictationFailure::microphoneDenied().message()),
                       QStringLiteral("pastille-message-long"), folder);
    const core::DictationFailure quota =
        core::DictationFailure::relay(core::RelayFailure::quotaReached(free.week.resetsAt));
    co_await shootPill(pill, PillState::message(quota.message()),
                       QStringLiteral("pastille-plafond"), folder);
    pill.hide();
    QCoreApplication::exit(0);
}

} // namespace parlova::app
