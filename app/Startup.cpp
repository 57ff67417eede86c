#include "app/Startup.h"
#include "app/BackupProgress.h"
#include "app/Forms.h"
#include "app/Unit1.h"
#include "app/Unit2S.h"
#include "app/Unit4R.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit3D.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"
#include "ledger/Backup.h"
#include "ledger/Books.h"
#include "ledger/Journal.h"
#include "ledger/WorkLock.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"
#include "reports/UnitR3.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <memory>

namespace kw {

namespace {
void loadTranslations(QApplication &app)
{
    // Standard buttons and dialogs speak Polish: "Tak", "Nie", "Anuluj".
    auto *qt = new QTranslator(&app);
    if (qt->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
}
} // namespace

void createForms(const std::function<void(const char *)> &created, std::unique_ptr<ledger::Books> books)
{
    Forms &f = forms();
    f.clear();
    f.books_ = books ? std::move(books) : std::make_unique<ledger::Books>(QDir::currentPath());
    const auto make = [&](auto *Forms::*slot, const char *name) {
        using Window = std::remove_pointer_t<std::remove_reference_t<decltype(f.*slot)>>;
        f.adopt(std::make_unique<Window>(), slot);
        if (created)
            created(name);
    };
    try {
        make(&Forms::form1_, "TForm1");
        make(&Forms::form2S_, "TForm2S");
        make(&Forms::form3D_, "TForm3D");
        make(&Forms::formM_, "TFormM");
        make(&Forms::form4R_, "TForm4R");
        make(&Forms::form2_, "TForm2");
        make(&Forms::form3_, "TForm3");
        make(&Forms::formR1_, "TFormR1");
        make(&Forms::formR2_, "TFormR2");
        make(&Forms::formR3_, "TFormR3");
        createToolWindows(f, created);
    } catch (...) {
        // The windows made so far go again, the last first; the caller reports the cause.
        f.clear();
        throw;
    }
    // The dialogs stay above the main window, kept there by the window system as windows of the
    // main window, without blocking it: choosing a day in the list does not hide them.
    for (QWidget *dialog : std::initializer_list<QWidget *>{f.form3D(), f.formM(), f.form2(), f.form3()})
        dialog->setParent(f.form1(), dialog->windowFlags());
    connectForms(f);
    f.complete_ = true;
}

void createForms(const std::function<void(const char *)> &created)
{
    createForms(created, nullptr);
}

void destroyForms()
{
    releaseToolWindows();
    forms().clear();
}

int startProgram(QApplication &app, const std::function<void(const char *)> &created)
{
    return startProgram(app, created, nullptr);
}

int startProgram(QApplication &app, const std::function<void(const char *)> &created,
                 std::unique_ptr<ledger::Books> books)
{
    app.setApplicationName(QStringLiteral("Kwotnik"));
    app.setApplicationDisplayName(appTitle());
    loadTranslations(app);
    setUpApplicationIcon(app);

    std::unique_ptr<QWidget> splash(createSplash());
    if (splash) {
        splash->show();
        splash->repaint();
        app.processEvents();
    }
    try {
        createForms(created, std::move(books));
    } catch (const std::exception &e) {
        splash.reset();
        reportError(e);
        return 1;
    }
    setHelpFile(QStringLiteral("POMOC.HLP"));
    splash.reset();

    TForm1 *main = forms().form1();
    const QRect screen = main->screen()->availableGeometry();
    main->adjustSize();
    main->move(screen.center() - main->rect().center());
    main->show();
    return 0;
}

int runProgram(QApplication &app)
{
    // One running copy per working directory, for the whole run; a second one writes nothing.
    auto books = std::make_unique<ledger::Books>(QDir::currentPath());
    if (!books->lockFolder()) {
        messageBox(appTitle(), WorkLock::busyMessage(), MsgIcon::Warning, Ok);
        return 2;
    }
    // A journal that could not be applied is set aside here, before any window opens a table, and
    // the user reads why and what the ledger check found before anything is written.
    try {
        const Journal::Recovery recovery = books->recoverJournal();
        if (recovery.setAside())
            messageBox(appTitle(), recovery.message(), MsgIcon::Warning, Ok);
    } catch (const std::exception &) {
        // A rollback the tables do not let be written: opening them tells what to do.
    }
    if (const int failed = startProgram(app, {}, std::move(books)))
        return failed;
    // The dated copy of the data runs beside the program once its window is up and painted; it is
    // waited for at the end, so the program never leaves a copy half made.
    backup::BackgroundCopy copy;
    showBackupProgress(*forms().form1(), copy);
    copy.startSoon(QDir::currentPath(), backup::CopyAfterStart);
    const int code = app.exec();
    copy.wait();
    destroyForms();
    return code;
}

} // namespace kw
