#include "app/pill/PillView.h"

#include "app/pill/PillModel.h"
#include "app/widgets/LevelBars.h"
#include "core/texts/Texts.h"
#include "platform/Compositing.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QTimer>

namespace parlova::app {

namespace {

constexpr int rowSpacing = 10;
constexpr int paddingX = 16;
constexpr int paddingY = 10;
const QColor capsuleFill = QColor::fromRgbF(0.11F, 0.11F, 0.11F, 0.94F);
const QColor capsuleLine = QColor::fromRgbF(1.0F, 1.0F, 1.0F, 0.12F);
const QColor warningYellow(255, 204, 0);

// The dark rounded background of the row.
class Capsule : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = shape.height() / 2.0;
        painter.setPen(QPen(capsuleLine, 1.0));
        painter.setBrush(capsuleFill);
        painter.drawRoundedRect(shape, radius, radius);
    }
};

// An indeterminate progress spinner: twelve spokes whose brightness turns.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent)
        : QWidget(parent) {
        // The meter's height, so that the capsule keeps its size between states.
        setFixedSize(18, 18);
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % spokes;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { m_timer.start(); }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        for (int index = 0; index < spokes; ++index) {
            const int age = (m_step - index + spokes) % spokes;
            QColor colour(Qt::white);
            colour.setAlphaF(1.0F - 0.75F * float(age) / float(spokes));
            painter.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap));
            painter.save();
            painter.rotate(360.0 * index / spokes);
            painter.drawLine(QPointF(0, -3.5), QPointF(0, -7.0));
            painter.restore();
        }
    }

private:
    static constexpr int spokes = 12;
    QTimer m_timer;
    int m_step = 0;
};

// A yellow warning triangle with its exclamation mark cut out.
class WarningSign : public QWidget {
public:
    explicit WarningSign(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(18, 18);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(0.0, 1.0);
        QPainterPath triangle;
        triangle.moveTo(9.0, 1.0);
        triangle.lineTo(17.0, 15.0);
        triangle.lineTo(1.0, 15.0);
        triangle.closeSubpath();
        painter.setPen(QPen(warningYellow, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(warningYellow);
        painter.drawPath(triangle);
        painter.setPen(QPen(capsuleFill, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(9.0, 6.0), QPointF(9.0, 10.0));
        painter.drawPoint(QPointF(9.0, 12.6));
    }
};

// The text broken into at most two lines, the second shortened with an
// ellipsis when the text is longer still.
QString twoLines(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    int firstEnd = int(text.size());
    if (first.isValid()) {
        first.setLineWidth(width);
        firstEnd = first.textStart() + first.textLength();
    }
    layout.endLayout();
    const QString head = text.left(firstEnd).trimmed();
    const QString tail = text.mid(firstEnd).trimmed();
    if (tail.isEmpty())
        return head;
    return head + QLatin1Char('\n') + QFontMetrics(font).elidedText(tail, Qt::ElideRight, width);
}

} // namespace

// Outside the window manager's care on X11 (override-redirect): a managed
// window, even one that refuses focus, is given it by some managers and by
// sway's XWayland, which would take the paste away from the user's window.
PillView::PillView(PillModel* model, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                          Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint)
    , m_model(model)
    , m_capsule(new Capsule(this))
    , m_bars(new LevelBars(m_capsule))
    , m_spinner(new Spinner(m_capsule))
    , m_warning(new WarningSign(m_capsule))
    , m_text(new QLabel(m_capsule)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(panelWidth, panelHeight);
    setWindowTitle(QStringLiteral("Parlova"));

    auto* shadow = new QGraphicsDropShadowEffect(m_capsule);
    shadow->setColor(QColor::fromRgbF(0.0F, 0.0F, 0.0F, 0.25F));
    shadow->setBlurRadius(10.0);
    shadow->setOffset(0.0, 2.0);
    m_capsule->setGraphicsEffect(shadow);

    QFont font = m_text->font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    m_text->setFont(font);
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    m_text->setPalette(palette);
    m_text->setTextFormat(Qt::PlainText);

    auto* row = new QHBoxLayout(m_capsule);
    row->setContentsMargins(paddingX, paddingY, paddingX, paddingY);
    row->setSpacing(rowSpacing);
    // One indicator shows at a time; hidden widgets take no room in the row.
    for (QWidget* indicator : {static_cast<QWidget*>(m_bars), m_spinner, m_warning})
        row->addWidget(indicator, 0, Qt::AlignVCenter);
    row->addWidget(m_text, 0, Qt::AlignVCenter);
    row->setSizeConstraint(QLayout::SetFixedSize);

    connect(model, &PillModel::stateChanged, this, &PillView::showState);
    connect(model, &PillModel::levelChanged, this, [this] { m_bars->setLevel(m_model->level()); });
    m_bars->setLevel(model->level());
    showState();
}

QRect PillView::capsuleGeometry() const {
    return m_capsule->geometry();
}

void PillView::showState() {
    const PillState& state = m_model->state();
    m_bars->setVisible(state.kind() == PillState::Kind::listening);
    m_spinner->setVisible(state.kind() == PillState::Kind::transcribing);
    m_warning->setVisible(state.kind() == PillState::Kind::message);
    switch (state.kind()) {
    case PillState::Kind::listening:
        m_text->setText(core::Texts::pillListening());
        break;
    case PillState::Kind::transcribing:
        m_text->setText(core::Texts::pillTranscribing());
        break;
    case PillState::Kind::message: {
        const int room =
            panelWidth - 2 * paddingX - rowSpacing - m_warning->width() - 2 * capsuleBottom;
        m_text->setText(twoLines(state.text(), m_text->font(), room));
        break;
    }
    }
    layoutCapsule();
}

void PillView::layoutCapsule() {
    m_capsule->layout()->activate();
    const QSize size = m_capsule->sizeHint();
    m_capsule->setGeometry((panelWidth - size.width()) / 2,
                           panelHeight - capsuleBottom - size.height(), size.width(),
                           size.height());
    cutToShape();
}

void PillView::cutToShape() {
    // Without a compositor the clear parts of the panel would show as a black
    // band: the window is then cut to the capsule (no shadow, hard edges).
    if (platform::windowsCanBeTranslucent()) {
        clearMask();
        return;
    }
    QPainterPath shape;
    const QRectF capsule = m_capsule->geometry();
    shape.addRoundedRect(capsule, capsule.height() / 2.0, capsule.height() / 2.0);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

void PillView::showEvent(QShowEvent* event) {
    cutToShape();
    QWidget::showEvent(event);
}

} // namespace parlova::app
