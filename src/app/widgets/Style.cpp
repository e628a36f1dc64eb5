#include "app/widgets/Style.h"

#include "app/widgets/Spinner.h"
#include "app/widgets/Symbols.h"
#include "core/texts/Texts.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace parlova::app {

namespace {

QFont scaled(const QFont& base, qreal factor, QFont::Weight weight) {
    QFont font(base);
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

QPushButton* styled(const QString& text, const char* role, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    if (role)
        button->setProperty("role", QString::fromLatin1(role));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

QColor Style::accent() {
    return QColor(0x5B, 0x45, 0xE0);
}

QColor Style::green() {
    return QColor(0x2E, 0xA0, 0x4F);
}

QColor Style::red() {
    return QColor(0xD9, 0x3B, 0x30);
}

QColor Style::orange() {
    return QColor(0xE8, 0x83, 0x0C);
}

QColor Style::secondary(const QWidget* widget) {
    QColor color = widget ? widget->palette().color(QPalette::WindowText)
                          : QApplication::palette().color(QPalette::WindowText);
    // Blended with the background rather than made transparent, so that it
    // also works where colours carry no alpha (SVG fills).
    const QColor background = widget ? widget->palette().color(QPalette::Window)
                                     : QApplication::palette().color(QPalette::Window);
    const qreal keep = 0.62;
    return QColor::fromRgbF(color.redF() * keep + background.redF() * (1 - keep),
                            color.greenF() * keep + background.greenF() * (1 - keep),
                            color.blueF() * keep + background.blueF() * (1 - keep));
}

void Style::install(QApplication& application) {
    const QString accentName = accent().name();
    const QString hover = accent().lighter(112).name();
    const QString pressed = accent().darker(115).name();
    const QString faded = accent().lighter(160).name();
    application.setStyleSheet(
        QStringLiteral(
            "QPushButton { padding: 6px 16px; min-height: 18px; border-radius: 7px;"
            "  border: 1px solid palette(mid); background: palette(button); }"
            "QPushButton:hover { background: palette(light); }"
            "QPushButton:pressed { background: palette(midlight); }"
            "QPushButton:focus { border-color: %1; }"
            "QPushButton:disabled { color: palette(mid); border-color: palette(midlight); }"
            "QPushButton[role=\"prominent\"] { background: %1; color: white; font-weight: 600;"
            "  border: 1px solid %3; }"
            "QPushButton[role=\"prominent\"]:hover { background: %2; }"
            "QPushButton[role=\"prominent\"]:pressed { background: %3; }"
            "QPushButton[role=\"prominent\"]:focus { border: 1px solid %3; }"
            "QPushButton[role=\"prominent\"]:disabled { background: %4; border-color: %4;"
            "  color: rgba(255, 255, 255, 0.85); }"
            "QPushButton[role=\"link\"] { border: none; background: transparent; padding: 2px 0;"
            "  color: %1; }"
            "QPushButton[role=\"link\"]:hover { text-decoration: underline; }"
            "QPushButton[role=\"link\"]:disabled { color: palette(mid); }"
            "QPushButton[role=\"destructive\"] { color: #d93b30; }"
            "QPushButton[role=\"destructive\"]:disabled { color: palette(mid); }"
            "QLineEdit { padding: 6px 9px; border: 1px solid palette(mid); border-radius: 7px;"
            "  background: palette(base); selection-background-color: %1; }"
            "QLineEdit:focus { border: 2px solid %1; padding: 5px 8px; }"
            "QFrame[role=\"card\"] { background: palette(base); border: 1px solid "
            "palette(midlight);"
            "  border-radius: 10px; }"
            "QFrame[role=\"badge\"] { background: rgba(91, 69, 224, 0.10); border-radius: 13px; }"
            "QFrame[role=\"badge\"][tone=\"attention\"] { background: rgba(232, 131, 12, 0.14); }"
            "QFrame[role=\"tile\"] { background: palette(base); border: 1px solid "
            "palette(midlight);"
            "  border-radius: 10px; }"
            "QFrame[role=\"separator\"] { background: palette(midlight); border: none;"
            "  max-height: 1px; min-height: 1px; }")
            .arg(accentName, hover, pressed, faded));
}

QLabel* Style::heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(scaled(label->font(), 1.55, QFont::DemiBold));
    label->setWordWrap(true);
    return label;
}

QLabel* Style::body(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QString Style::keepTogether(QString text) {
    for (const QChar sign : {u':', u';', u'?', u'!'})
        text.replace(QString(u' ') + sign, QString(QChar(0x00A0)) + sign);
    return text;
}

QLabel* Style::note(const QString& text, QWidget* parent) {
    auto* label = body(keepTogether(text), parent);
    label->setFont(scaled(label->font(), 0.92, QFont::Normal));
    tint(label, secondary(label));
    return label;
}

QLabel* Style::sectionTitle(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(scaled(label->font(), 1.0, QFont::DemiBold));
    label->setContentsMargins(4, 0, 0, 0);
    return label;
}

void Style::tint(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QLabel* Style::applicationIcon(int size, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFixedSize(size, size);
    label->setPixmap(Symbols::applicationPixmap(size, label->devicePixelRatioF()));
    return label;
}

QPushButton* Style::prominentButton(const QString& text, QWidget* parent) {
    return styled(text, "prominent", parent);
}

QPushButton* Style::button(const QString& text, QWidget* parent) {
    return styled(text, nullptr, parent);
}

QPushButton* Style::linkButton(const QString& text, QWidget* parent) {
    return styled(text, "link", parent);
}

QPushButton* Style::destructiveButton(const QString& text, QWidget* parent) {
    return styled(text, "destructive", parent);
}

QFrame* Style::card(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setProperty("role", QStringLiteral("card"));
    frame->setAttribute(Qt::WA_StyledBackground);
    return frame;
}

QFrame* Style::separator(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setProperty("role", QStringLiteral("separator"));
    frame->setAttribute(Qt::WA_StyledBackground);
    frame->setFixedHeight(1);
    return frame;
}

QWidget* Style::symbolLine(const QString& symbol, const QColor& symbolColor, const QString& text,
                           QWidget* parent) {
    auto* line = new QWidget(parent);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(Symbols::label(symbol, symbolColor, symbolSize), 0, Qt::AlignTop);
    layout->addWidget(body(text), 1);
    return line;
}

QWidget* Style::accountPending(QWidget* parent) {
    auto* pending = new QWidget(parent);
    auto* layout = new QHBoxLayout(pending);
    layout->setContentsMargins(0, 24, 0, 24);
    layout->setSpacing(10);
    layout->addStretch();
    layout->addWidget(new Spinner(pending));
    auto* text = new QLabel(core::Texts::accountLoading(), pending);
    tint(text, secondary(text));
    layout->addWidget(text);
    layout->addStretch();
    return pending;
}

} // namespace parlova::app
