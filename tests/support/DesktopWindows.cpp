#include "DesktopWindows.h"

#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUuid>

namespace parlova::test {

namespace {

// One JSON line per change: the text, a click, a focus loss.
const char* const textWindowScript = R"(
import json, sys, tkinter
root = tkinter.Tk()
root.title(sys.argv[1])
root.geometry('900x700+190+90')
text = tkinter.Text(root)
text.pack(fill='both', expand=True)
def say(**what):
    print(json.dumps(what), flush=True)
def changed(_):
    if text.edit_modified():
        say(text=text.get('1.0', 'end-1c'))
        text.edit_modified(False)
text.bind('<<Modified>>', changed)
text.bind('<Button-1>', lambda _: say(click=1))
root.bind('<FocusOut>', lambda e: say(focusOut=1) if e.widget is root else None)
text.focus_set()
root.mainloop()
)";

QString findWindow(const QString& title) {
    const ToolRun search = ToolRun::of(QStringLiteral("xdotool"),
                                       {"search", "--sync", "--limit", "1", "--name", title},
                                       QProcessEnvironment::systemEnvironment(), {}, 20000);
    return search.ok() && !search.lines().isEmpty() ? search.lines().constFirst() : QString();
}

QString uniqueTitle(const char* kind) {
    return QString::fromLatin1(kind) + QUuid::createUuid().toString(QUuid::Id128).left(8);
}

} // namespace

bool xdotool(const QStringList& arguments) {
    return ToolRun::of(QStringLiteral("xdotool"), arguments,
                       QProcessEnvironment::systemEnvironment(), {}, 20000)
        .ok();
}

TextWindow::TextWindow()
    : m_title(uniqueTitle("texte-")) {}

TextWindow::~TextWindow() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool TextWindow::open() {
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {"-c", QString::fromUtf8(textWindowScript), m_title});
    if (!m_process.waitForStarted(10000))
        return false;
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readReports(); });
    m_id = findWindow(m_title);
    return !m_id.isEmpty() && xdotool({"windowfocus", "--sync", m_id});
}

void TextWindow::readReports() {
    while (m_process.canReadLine()) {
        const QJsonObject report = QJsonDocument::fromJson(m_process.readLine()).object();
        if (report.contains(QLatin1String("text")))
            m_text = report.value(QLatin1String("text")).toString();
        m_clicks += report.value(QLatin1String("click")).toInt();
        m_focusLosses += report.value(QLatin1String("focusOut")).toInt();
    }
}

QString TextWindow::text() {
    readReports();
    return m_text;
}

int TextWindow::clicks() {
    readReports();
    return m_clicks;
}

int TextWindow::focusLosses() {
    readReports();
    return m_focusLosses;
}

Terminal::Terminal()
    : m_title(uniqueTitle("terminal-")) {}

Terminal::~Terminal() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool Terminal::open() {
    const QString out = m_folder.filePath(QStringLiteral("ligne"));
    m_process.start(
        QStringLiteral("st"),
        {"-t", m_title, "-g", "80x10+320+200", "-e", "sh", "-c",
         QStringLiteral(
             "IFS= read -r line; printf %s \"$line\" > '%1.part'; mv '%1.part' '%1'; sleep 60")
             .arg(out)});
    if (!m_process.waitForStarted(10000))
        return false;
    const QString id = findWindow(m_title);
    // The shell needs a moment before it reads what is typed.
    QTest::qWait(300);
    return !id.isEmpty() && xdotool({"windowfocus", "--sync", id});
}

QString Terminal::line() {
    if (!xdotool({"key", "Return"}))
        return {};
    QFile file(m_folder.filePath(QStringLiteral("ligne")));
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (file.exists() && file.open(QIODevice::ReadOnly))
            return QString::fromUtf8(file.readAll());
        QTest::qWait(50);
    }
    return {};
}

} // namespace parlova::test
