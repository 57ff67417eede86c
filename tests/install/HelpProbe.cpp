// Run by InstallTest.sh from a copy placed in an installed tree's bin/ folder, in a scratch working
// directory: the help opens the way the program opens it, and must come from that tree.
#include "framework/Messages.h"
#include "tools/help/HelpViewer.h"

#include <QFileInfo>
#include <QTest>

using namespace kw;

class HelpProbe : public QObject
{
    Q_OBJECT

private slots:
    void theHelpOfTheInstalledTreeOpens()
    {
        const QString expected = qEnvironmentVariable("KW_EXPECTED_HELP");
        QVERIFY2(QFileInfo::exists(expected), qPrintable(QStringLiteral("no help file at ") + expected));
        QStringList messages;
        setMessageHandler([&](const MessageRequest &r) {
            messages.append(r.text);
            return Ok;
        });

        help::setHelpFile(QStringLiteral("POMOC.HLP"));
        QVERIFY2(help::showTopics(), qPrintable(messages.join(QLatin1Char('\n'))));
        QCOMPARE(QFileInfo(help::viewer()->documentPath()).canonicalFilePath(),
                 QFileInfo(expected).canonicalFilePath());
        QVERIFY(!help::viewer()->currentTopic().isEmpty());
        QVERIFY(messages.isEmpty());
        help::destroyViewer();
    }
};

QTEST_MAIN(HelpProbe)
#include "HelpProbe.moc"
