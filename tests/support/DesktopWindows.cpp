#include "DesktopWindows.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace parlova::test {

namespace {

// One JSON line per change of the text and per click.
const char* const textWindowScript = R"(
import json, sys, tkinter
root = tkinter.Tk()
root.title(sys.argv[1])
root.geometry('900x700+190+90')
text = tkinter.Text(root)
text.pack(fill='both', expand=True)
def changed(_):
    if text.edit_modified():
        print(json.dumps({'text': text.get('1.0', 'end-1c')}), flush=True)
        text.edit_modified(False)
text.bind('<<Modified>>', changed)
text.bind('<Button-1>', lambda _: print(json.dumps({'click': 1}), flush=True))
text.focus_set()
root.mainloop()
)";

} // namespace

QByteArray runServing(const QString& program, const QStringList& arguments,
                      const QByteArray& input) {
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    (void)QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000);
    return process.readAllStandardOutput();
}

QString focusWindow(const QString& title) {
    const QString id = QString::fromUtf8(
        runServing(u"xdotool"_s, {"search", "--sync", "--limit", "1", "--name", title}).trimmed());
    if (id.isEmpty())
        return {};
    runServing(u"xdotool"_s, {"windowfocus", "--sync", id});
    return id;
}

TextWindow::~TextWindow() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool TextWindow::open() {
    const QString title = QUuid::createUuid().toString(QUuid::Id128);
    m_process.start(u"/usr/bin/python3"_s, {"-c", QString::fromUtf8(textWindowScript), title});
    m_id = focusWindow(title);
    return !m_id.isEmpty();
}

void TextWindow::readReports() {
    while (m_process.canReadLine()) {
        const QJsonObject report = QJsonDocument::fromJson(m_process.readLine()).object();
        if (report.contains(u"text"))
            m_text = report.value(u"text").toString();
        m_clicks += report.value(u"click").toInt();
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

} // namespace parlova::test
