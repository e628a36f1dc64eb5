#include "app/windows/SignInView.h"

#include "app/widgets/CodeField.h"

#include "app/widgets/FeedbackLines.h"
#include "app/widgets/Spinner.h"
#include "app/widgets/Style.h"
#include "core/domain/SignInCode.h"
#include "core/texts/Texts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace parlova::app {

using core::Texts;

namespace {

// A field with its title above it.
QWidget* labeled(const QString& title, QWidget* field) {
    auto* block = new QWidget;
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* label = new QLabel(title, block);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    label->setBuddy(field);
    layout->addWidget(label);
    layout->addWidget(field);
    return block;
}

// The main button of a step and the busy indicator that replaces it.
QWidget* actionRow(QPushButton* button, QWidget* busy) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(button, 1);
    layout->addWidget(busy, 1, Qt::AlignCenter);
    button->setMinimumHeight(34);
    busy->setMinimumHeight(34);
    return row;
}

QWidget* busyIndicator() {
    auto* holder = new QWidget;
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(new Spinner(holder, 20));
    layout->addStretch();
    return holder;
}

QVBoxLayout* stepLayout(QWidget* step) {
    auto* layout = new QVBoxLayout(step);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Style::spacing);
    return layout;
}

} // namespace

SignInView::SignInView(SignInModel& model, Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_clock(clock) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Style::spacing);
    layout->addWidget(Style::applicationIcon(Style::screenIconSize, this));

    // The e-mail step.
    m_emailStep = new QWidget(this);
    QVBoxLayout* email = stepLayout(m_emailStep);
    email->addWidget(Style::heading(Texts::signInTitle()));
    email->addWidget(Style::note(Texts::signInSubtitle()));
    email->addSpacing(4);
    m_email = new QLineEdit(m_emailStep);
    m_email->setPlaceholderText(Texts::emailPlaceholder());
    m_email->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
    email->addWidget(labeled(Texts::emailLabel(), m_email));
    m_referral = new QLineEdit(m_emailStep);
    m_referral->setPlaceholderText(Texts::referralPlaceholder());
    m_referral->setInputMethodHints(Qt::ImhNoPredictiveText);
    email->addWidget(labeled(Texts::referralLabel(), m_referral));
    m_emailFeedback = new FeedbackLines(m_emailStep);
    email->addWidget(m_emailFeedback);
    m_sendCode = Style::prominentButton(Texts::sendCode());
    m_sendCode->setDefault(true);
    m_sendBusy = busyIndicator();
    email->addWidget(actionRow(m_sendCode, m_sendBusy));
    layout->addWidget(m_emailStep);

    // The code step.
    m_codeStep = new QWidget(this);
    QVBoxLayout* code = stepLayout(m_codeStep);
    code->addWidget(Style::heading(Texts::codeTitle()));
    m_codeSubtitle = Style::note(QString());
    code->addWidget(m_codeSubtitle);
    code->addSpacing(4);
    m_code = new CodeField(m_codeStep);
    m_code->setPlaceholderText(Texts::codePlaceholder());
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setInputMethodHints(Qt::ImhDigitsOnly);
    m_code->setAccessibleName(Texts::codeTitle());
    QFont codeFont = m_code->font();
    codeFont.setPointSizeF(codeFont.pointSizeF() * 1.7);
    codeFont.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    codeFont.setStyleHint(QFont::Monospace);
    m_code->setFont(codeFont);
    code->addWidget(m_code);
    m_codeFeedback = new FeedbackLines(m_codeStep);
    code->addWidget(m_codeFeedback);
    m_submit = Style::prominentButton(Texts::submitCode());
    m_submit->setDefault(true);
    m_submitBusy = busyIndicator();
    code->addWidget(actionRow(m_submit, m_submitBusy));
    auto* links = new QHBoxLayout;
    m_changeEmail = Style::linkButton(Texts::changeEmail());
    m_resend = Style::linkButton(Texts::resend());
    links->addWidget(m_changeEmail);
    links->addStretch();
    links->addWidget(m_resend);
    code->addLayout(links);
    layout->addWidget(m_codeStep);

    connect(m_email, &QLineEdit::textEdited, &m_model, &SignInModel::setEmail);
    connect(m_referral, &QLineEdit::textEdited, &m_model, &SignInModel::setReferral);
    connect(m_code, &QLineEdit::textEdited, &m_model, &SignInModel::setCode);
    connect(m_sendCode, &QPushButton::clicked, this, [this] { m_model.requestCode(); });
    connect(m_submit, &QPushButton::clicked, this, [this] { m_model.signIn(); });
    connect(m_resend, &QPushButton::clicked, this, [this] { m_model.resend(); });
    connect(m_changeEmail, &QPushButton::clicked, this, [this] { m_model.restart(); });

    for (auto signal : {&SignInModel::emailChanged, &SignInModel::referralChanged,
                        &SignInModel::codeChanged, &SignInModel::sentEmailChanged})
        connect(&m_model, signal, this, &SignInView::showFields);
    for (auto signal :
         {&SignInModel::isWorkingChanged, &SignInModel::errorChanged, &SignInModel::noticeChanged,
          &SignInModel::emailChanged, &SignInModel::codeChanged})
        connect(&m_model, signal, this, &SignInView::showState);
    connect(&m_model, &SignInModel::stepChanged, this, &SignInView::showStep);
    showStep();
}

SignInView::~SignInView() = default;

void SignInView::showStep() {
    const bool codeStep = m_model.step().isCode();
    m_emailStep->setVisible(!codeStep);
    m_codeStep->setVisible(codeStep);
    showFields();
    showState();
    m_tick.reset();
    if (codeStep)
        tick();
    focusStep();
}

void SignInView::showFields() {
    if (m_email->text() != m_model.email())
        m_email->setText(m_model.email());
    if (m_referral->text() != m_model.referral())
        m_referral->setText(m_model.referral());
    if (m_code->text() != m_model.code())
        m_code->setText(m_model.code());
    m_codeSubtitle->setText(Style::keepTogether(Texts::codeSubtitle(m_model.sentEmail())));
}

void SignInView::showState() {
    const bool working = m_model.isWorking();
    m_sendCode->setVisible(!working);
    m_sendBusy->setVisible(working);
    m_sendCode->setEnabled(!working && SignInModel::looksLikeEmail(m_model.email()));
    m_submit->setVisible(!working);
    m_submitBusy->setVisible(working);
    m_submit->setEnabled(!working && core::SignInCode::isComplete(m_model.code()));
    m_emailFeedback->setLines(m_model.error(), m_model.notice());
    m_codeFeedback->setLines(m_model.error(), m_model.notice());
    if (m_model.step().isCode())
        m_resend->setEnabled(!working && m_model.resendCountdown() < 1);
}

QString SignInView::errorText() const {
    return (m_model.step().isCode() ? m_codeFeedback : m_emailFeedback)->errorText();
}

void SignInView::focusStep() {
    QLineEdit* field = m_model.step().isCode() ? m_code : m_email;
    field->setFocus(Qt::OtherFocusReason);
}

void SignInView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    focusStep();
}

void SignInView::tick() {
    if (!m_model.step().isCode())
        return;
    const int remaining = m_model.resendCountdown();
    m_resend->setText(m_model.resendLabel());
    m_resend->setEnabled(remaining < 1 && !m_model.isWorking());
    if (remaining < 1) {
        m_tick.reset();
        return;
    }
    // Wake at the next whole second since the code was sent: the moment
    // the countdown changes. Waking a little early only adds a short wait.
    const qint64 elapsed = m_model.step().sentAt().msecsTo(m_clock.now());
    const qint64 wait = 1000 - ((elapsed % 1000) + 1000) % 1000;
    m_tick = m_clock.after(static_cast<double>(wait) / 1000.0, [this] { tick(); });
}

} // namespace parlova::app
