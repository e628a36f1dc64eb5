#include "app/windows/SettingsView.h"

#include "app/widgets/Spinner.h"
#include "app/widgets/Style.h"
#include "app/widgets/Switch.h"
#include "app/widgets/Symbols.h"
#include "core/domain/DictationLanguage.h"
#include "core/domain/HoldKey.h"
#include "core/texts/Catalog.h"
#include "core/texts/Texts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace parlova::app {

using core::Texts;

namespace {

constexpr int stateSymbolSize = 16;

// A card's row: margins that line rows up from card to card.
QHBoxLayout* rowLayout(QWidget* row) {
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(10);
    return layout;
}

QVBoxLayout* cardLayout(QFrame* card) {
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// A section: its title, then its card.
QFrame* addSection(QVBoxLayout* layout, const QString& title, QWidget* parent) {
    layout->addSpacing(6);
    layout->addWidget(Style::sectionTitle(title, parent));
    QFrame* card = Style::card(parent);
    layout->addWidget(card);
    return card;
}

} // namespace

SettingsView::SettingsView(StatusModel& status, core::SettingsActions& settings,
                           SessionActions& session, LoginItem loginItem,
                           std::function<void()> onWelcome,
                           std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : QWidget(parent)
    , m_status(status)
    , m_settings(settings)
    , m_session(session)
    , m_loginItem(std::move(loginItem))
    , m_onWelcome(std::move(onWelcome))
    , m_openUrl(std::move(openUrl))
    , m_loginItemStatus(m_loginItem.status()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    // Account.
    QFrame* account = addSection(layout, Texts::accountSection(), this);
    QVBoxLayout* accountRows = cardLayout(account);
    m_signedOut = new QWidget(account);
    QHBoxLayout* signedOut = rowLayout(m_signedOut);
    auto* invitation = new QLabel(Texts::signInTitle(), m_signedOut);
    Style::tint(invitation, Style::secondary(invitation));
    signedOut->addWidget(invitation, 1);
    auto* signIn = Style::prominentButton(Texts::signInItem(), m_signedOut);
    signedOut->addWidget(signIn);
    connect(signIn, &QPushButton::clicked, this, [this] {
        if (m_onWelcome)
            m_onWelcome();
    });
    accountRows->addWidget(m_signedOut);

    m_signedIn = new QWidget(account);
    auto* signedIn = new QVBoxLayout(m_signedIn);
    signedIn->setContentsMargins(0, 0, 0, 0);
    signedIn->setSpacing(0);
    auto* emailRow = new QWidget(m_signedIn);
    QHBoxLayout* email = rowLayout(emailRow);
    email->addWidget(new QLabel(Texts::emailLabel(), emailRow));
    email->addStretch();
    m_email = new QLabel(emailRow);
    m_email->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::tint(m_email, Style::secondary(m_email));
    email->addWidget(m_email);
    signedIn->addWidget(emailRow);
    signedIn->addWidget(Style::separator(m_signedIn));
    auto* actionsRow = new QWidget(m_signedIn);
    QHBoxLayout* actions = rowLayout(actionsRow);
    m_signOut = Style::button(Texts::signOut(), actionsRow);
    actions->addWidget(m_signOut);
    actions->addStretch();
    m_deleting = new Spinner(actionsRow, 16);
    actions->addWidget(m_deleting);
    m_delete = Style::destructiveButton(Texts::deleteAccountItem(), actionsRow);
    actions->addWidget(m_delete);
    signedIn->addWidget(actionsRow);
    m_deletionErrorLabel = Style::body(QString(), m_signedIn);
    m_deletionErrorLabel->setContentsMargins(14, 0, 14, 12);
    Style::tint(m_deletionErrorLabel, Style::red());
    signedIn->addWidget(m_deletionErrorLabel);
    accountRows->addWidget(m_signedIn);
    connect(m_signOut, &QPushButton::clicked, this, [this] { m_session.signOut(); });
    connect(m_delete, &QPushButton::clicked, this, &SettingsView::confirmDeletion);

    // Dictation.
    QFrame* dictation = addSection(layout, Texts::dictationSection(), this);
    QVBoxLayout* dictationRows = cardLayout(dictation);
    auto* keyRow = new QWidget(dictation);
    QHBoxLayout* key = rowLayout(keyRow);
    auto* keyLabel = new QLabel(Texts::holdKey(), keyRow);
    key->addWidget(keyLabel, 1);
    m_holdKey = new QComboBox(keyRow);
    m_holdKey->setMinimumWidth(190);
    keyLabel->setBuddy(m_holdKey);
    key->addWidget(m_holdKey);
    dictationRows->addWidget(keyRow);
    m_keySourceRow = new QWidget(dictation);
    auto* source = new QVBoxLayout(m_keySourceRow);
    source->setContentsMargins(14, 0, 14, 10);
    source->setSpacing(4);
    m_keySource = Style::note(QString(), m_keySourceRow);
    m_keySourceWhere = Style::note(QString(), m_keySourceRow);
    m_keySourceWhere->setWordWrap(true);
    source->addWidget(m_keySource);
    source->addWidget(m_keySourceWhere);
    m_configureShortcut = Style::button(Texts::keySourceConfigure(), m_keySourceRow);
    source->addWidget(m_configureShortcut, 0, Qt::AlignLeft);
    dictationRows->addWidget(m_keySourceRow);
    connect(m_configureShortcut, &QPushButton::clicked, this,
            [this] { m_settings.configureShortcut(); });
    dictationRows->addWidget(Style::separator(dictation));
    auto* languageRow = new QWidget(dictation);
    QHBoxLayout* language = rowLayout(languageRow);
    auto* languageLabel = new QLabel(Texts::language(), languageRow);
    language->addWidget(languageLabel, 1);
    m_language = new QComboBox(languageRow);
    for (const core::DictationLanguage choice : core::allDictationLanguages)
        m_language->addItem(core::displayName(choice), static_cast<int>(choice));
    m_language->setMinimumWidth(190);
    languageLabel->setBuddy(m_language);
    language->addWidget(m_language);
    dictationRows->addWidget(languageRow);
    auto* footer = Style::note(Texts::languageFooter(), this);
    footer->setContentsMargins(4, 0, 0, 0);
    layout->addWidget(footer);
    connect(m_holdKey, &QComboBox::activated, this, [this](int index) {
        const auto key = static_cast<core::HoldKey>(m_holdKey->itemData(index).toInt());
        if (key != m_status.holdKey())
            m_settings.setHoldKey(key);
    });
    connect(m_language, &QComboBox::activated, this, [this](int index) {
        const auto choice =
            static_cast<core::DictationLanguage>(m_language->itemData(index).toInt());
        if (choice != m_status.language())
            m_settings.setLanguage(choice);
    });

    // General.
    QFrame* general = addSection(layout, Texts::generalSection(), this);
    QVBoxLayout* generalRows = cardLayout(general);
    auto* loginRow = new QWidget(general);
    QHBoxLayout* login = rowLayout(loginRow);
    auto* loginLabel = Style::body(Texts::launchAtLogin(), loginRow);
    login->addWidget(loginLabel, 1);
    m_launchAtLogin = new Switch(loginRow);
    m_launchAtLogin->setAccessibleName(Texts::launchAtLogin());
    loginLabel->setBuddy(m_launchAtLogin);
    login->addWidget(m_launchAtLogin);
    generalRows->addWidget(loginRow);
    m_loginItemNote = Style::note(QString(), general);
    m_loginItemNote->setContentsMargins(14, 0, 14, 10);
    generalRows->addWidget(m_loginItemNote);
    connect(m_launchAtLogin, &Switch::clicked, this, &SettingsView::setLaunchAtLogin);

    // Permissions.
    QFrame* state = addSection(layout, Texts::statusSection(), this);
    QVBoxLayout* stateRows = cardLayout(state);
    const auto addStatusRow = [&](const QString& title, QLabel*& symbol, QLabel*& text) {
        auto* row = new QWidget(state);
        QHBoxLayout* line = rowLayout(row);
        line->addWidget(new QLabel(title, row), 1);
        symbol = new QLabel(row);
        symbol->setFixedSize(stateSymbolSize, stateSymbolSize);
        line->addWidget(symbol);
        text = new QLabel(row);
        Style::tint(text, Style::secondary(text));
        line->addWidget(text);
        stateRows->addWidget(row);
    };
    addStatusRow(Texts::microphoneTitle(), m_microphoneSymbol, m_microphoneState);
    stateRows->addWidget(Style::separator(state));
    addStatusRow(Texts::accessibilityTitle(), m_accessibilitySymbol, m_accessibilityState);
    m_permissionsSeparator = Style::separator(state);
    stateRows->addWidget(m_permissionsSeparator);
    m_permissionsRow = new QWidget(state);
    QHBoxLayout* permissions = rowLayout(m_permissionsRow);
    permissions->addStretch();
    m_permissions = Style::button(Texts::permissionsItem(), m_permissionsRow);
    permissions->addWidget(m_permissions);
    stateRows->addWidget(m_permissionsRow);
    connect(m_permissions, &QPushButton::clicked, this, [this] {
        if (m_onWelcome)
            m_onWelcome();
    });

    // Footer: legal pages and version.
    layout->addSpacing(6);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(4, 0, 4, 0);
    bottom->setSpacing(16);
    m_terms = Style::linkButton(Texts::terms(), this);
    m_privacy = Style::linkButton(Texts::privacy(), this);
    bottom->addWidget(m_terms);
    bottom->addWidget(m_privacy);
    bottom->addStretch();
    const QString version = QCoreApplication::applicationVersion();
    bottom->addWidget(
        Style::note(core::Catalog::text("settings.version",
                                        {version.isEmpty() ? QStringLiteral("\u2014") : version}),
                    this));
    layout->addLayout(bottom);
    const auto openLink = [this](bool terms) {
        const std::optional<core::Account>& account = m_status.account();
        if (!account)
            return;
        const std::optional<QUrl>& url = terms ? account->links.terms : account->links.privacy;
        if (url && m_openUrl)
            m_openUrl(*url);
    };
    connect(m_terms, &QPushButton::clicked, this, [openLink] { openLink(true); });
    connect(m_privacy, &QPushButton::clicked, this, [openLink] { openLink(false); });

    connect(&m_status, &StatusModel::signedInChanged, this, &SettingsView::showAccount);
    connect(&m_status, &StatusModel::accountChanged, this, [this] {
        showAccount();
        showFooter();
    });
    connect(&m_status, &StatusModel::holdKeyChanged, this, &SettingsView::showChoices);
    connect(&m_status, &StatusModel::languageChanged, this, &SettingsView::showChoices);
    connect(&m_status, &StatusModel::keySourceChanged, this, &SettingsView::showKeySource);
    connect(&m_status, &StatusModel::microphoneChanged, this, &SettingsView::showPermissions);
    connect(&m_status, &StatusModel::accessibilityChanged, this, &SettingsView::showPermissions);
    showAccount();
    showChoices();
    showKeySource();
    showLoginItem();
    showPermissions();
    showFooter();
}

void SettingsView::showAccount() {
    const bool signedIn = m_status.signedIn();
    m_signedOut->setVisible(!signedIn);
    m_signedIn->setVisible(signedIn);
    const std::optional<core::Account>& account = m_status.account();
    m_email->setText(account ? account->email : QStringLiteral("\u2014"));
    m_signOut->setEnabled(!m_deletingAccount);
    m_delete->setEnabled(!m_deletingAccount);
    m_deleting->setVisible(m_deletingAccount);
    m_deletionErrorLabel->setText(m_deletionError.value_or(QString()));
    m_deletionErrorLabel->setVisible(m_deletionError.has_value());
}

void SettingsView::showChoices() {
    m_holdKey->setCurrentIndex(m_holdKey->findData(static_cast<int>(m_status.holdKey())));
    m_language->setCurrentIndex(m_language->findData(static_cast<int>(m_status.language())));
}

void SettingsView::showKeySource() {
    using Kind = platform::KeyMonitor::Source::Kind;
    const platform::KeyMonitor::Source& source = m_status.keySource();
    // An X server caps key codes at 255: Fn (472) never reaches it.
    m_holdKey->clear();
    for (const core::HoldKey holdKey : core::allHoldKeys) {
        if (holdKey != core::HoldKey::function || source.kind != Kind::displayServer)
            m_holdKey->addItem(core::displayName(holdKey), static_cast<int>(holdKey));
    }
    showChoices();
    m_keySourceRow->setVisible(source.kind != Kind::displayServer && source.kind != Kind::none);
    switch (source.kind) {
    case Kind::desktopShortcut:
        m_keySource->setText(source.trigger.isEmpty() ? Texts::keySourceShortcutUnset()
                                                      : Texts::keySourceShortcut(source.trigger));
        // Unset, the line above already says where to choose it.
        if (source.trigger.isEmpty())
            m_keySourceWhere->clear();
        else
            m_keySourceWhere->setText(Texts::keySourceWhereDesktop());
        break;
    case Kind::compositorBinding:
        m_keySource->setText(Texts::keySourceBinding());
        m_keySourceWhere->setText(Texts::keySourceWhereCompositor());
        break;
    case Kind::keyboards:
        m_keySource->setText(Texts::keySourceKeyboards());
        m_keySourceWhere->clear();
        break;
    case Kind::displayServer:
    case Kind::none:
        break;
    }
    m_keySourceWhere->setVisible(!m_keySourceWhere->text().isEmpty() && !source.configurable);
    m_configureShortcut->setVisible(source.configurable);
}

void SettingsView::showLoginItem() {
    m_launchAtLogin->setChecked(m_loginItemStatus == LoginItem::Status::enabled);
    if (m_loginItemStatus == LoginItem::Status::requiresApproval) {
        m_loginItemNote->setText(Texts::launchAtLoginApproval());
        Style::tint(m_loginItemNote, Style::secondary(m_loginItemNote));
        m_loginItemNote->show();
    } else if (m_loginItemFailed) {
        m_loginItemNote->setText(Texts::launchAtLoginFailed());
        Style::tint(m_loginItemNote, Style::red());
        m_loginItemNote->show();
    } else {
        m_loginItemNote->hide();
    }
}

void SettingsView::showPermissions() {
    const auto paint = [](bool ok, QLabel* symbol, QLabel* text) {
        Symbols::paint(symbol,
                       ok ? QStringLiteral("checkmark.circle.fill")
                          : QStringLiteral("xmark.circle.fill"),
                       ok ? Style::green() : Style::red(), stateSymbolSize);
        text->setText(ok ? Texts::granted() : Texts::notGranted());
        symbol->setAccessibleName(text->text());
    };
    const bool microphone = m_status.microphone() == core::Readiness::Microphone::granted;
    const bool accessibility = m_status.accessibility();
    paint(microphone, m_microphoneSymbol, m_microphoneState);
    paint(accessibility, m_accessibilitySymbol, m_accessibilityState);
    m_permissionsRow->setVisible(!(microphone && accessibility));
    m_permissionsSeparator->setVisible(!(microphone && accessibility));
}

void SettingsView::showFooter() {
    const std::optional<core::Account>& account = m_status.account();
    m_terms->setVisible(account && account->links.terms);
    m_privacy->setVisible(account && account->links.privacy);
}

void SettingsView::setLaunchAtLogin(bool enabled) {
    m_loginItemFailed = !m_loginItem.setEnabled(enabled).ok();
    m_loginItemStatus = m_loginItem.status();
    showLoginItem();
}

void SettingsView::confirmDeletion() {
    if (!m_confirmation) {
        m_confirmation = new QMessageBox(QMessageBox::Warning, Texts::deleteAccountTitle(),
                                         Texts::deleteAccountTitle(), QMessageBox::NoButton, this);
        m_confirmation->setInformativeText(Texts::deleteAccountWarning());
        m_confirmation->setWindowModality(Qt::WindowModal);
        QPushButton* confirm =
            m_confirmation->addButton(Texts::deleteAccountConfirm(), QMessageBox::DestructiveRole);
        confirm->setProperty("role", QStringLiteral("destructive"));
        QPushButton* cancel = m_confirmation->addButton(Texts::cancel(), QMessageBox::RejectRole);
        m_confirmation->setDefaultButton(cancel);
        m_confirmation->setEscapeButton(cancel);
        connect(confirm, &QPushButton::clicked, this, [this] { deleteAccount(); });
    }
    m_confirmation->open();
}

QCoro::Task<> SettingsView::deleteAccount() {
    if (m_deletingAccount)
        co_return;
    m_deletingAccount = true;
    m_deletionError.reset();
    showAccount();
    const QPointer<SettingsView> self(this);
    QCoro::Task<core::RelayDone> deleting = m_session.deleteAccount();
    const core::RelayDone done = co_await std::move(deleting);
    if (!self)
        co_return;
    if (!done) {
        m_deletionError = done.error().kind() == core::RelayFailure::Kind::paymentUnavailable
                              ? Texts::deleteAccountStripeFailed()
                              : done.error().message();
    }
    m_deletingAccount = false;
    showAccount();
}

} // namespace parlova::app
