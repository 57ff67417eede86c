#include "app/BackupProgress.h"
#include "framework/Messages.h"
#include "ledger/Backup.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace kw {

void showBackupProgress(QMainWindow &main, backup::BackgroundCopy &copy)
{
    auto *panel = new QLabel(main.statusBar());
    panel->setObjectName(QStringLiteral("BackupPanel"));
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setContentsMargins(6, 0, 6, 0);
    panel->setText(QStringLiteral("Kopia zapasowa danych w toku…"));
    panel->setToolTip(
        QStringLiteral("Program kopiuje pliki danych do folderu kopie; można przy tym pracować."));
    main.statusBar()->addPermanentWidget(panel);

    QObject::connect(&copy, &backup::BackgroundCopy::finished, panel, [panel](const backup::Outcome &o) {
        switch (o.kind) {
        case backup::Outcome::Made:
            panel->setText(QStringLiteral("Kopia zapasowa zrobiona"));
            panel->setToolTip(
                QStringLiteral("Nowa kopia danych: %1").arg(QDir::toNativeSeparators(o.folder)));
            break;
        case backup::Outcome::Unchanged:
            panel->setText(QStringLiteral("Kopia zapasowa aktualna"));
            panel->setToolTip(
                QStringLiteral("Dane nie zmieniły się od ostatniej kopii; nowa nie była potrzebna."));
            break;
        case backup::Outcome::NoTables:
            panel->hide();
            break;
        case backup::Outcome::Failed:
            panel->setText(QStringLiteral("Kopia zapasowa nie powiodła się"));
            panel->setToolTip(o.message);
            messageBox(appTitle(), o.message, MsgIcon::Warning, Ok);
            break;
        }
    });
}

} // namespace kw
