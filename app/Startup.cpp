#include "app/Startup.h"
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
template <class T> T *make(T *&slot, const char *name, const std::function<void(const char *)> &created)
{
    slot = new T;
    if (created)
        created(name);
    return slot;
}

void loadTranslations(QApplication &app)
{
    // Standard buttons and dialogs speak Polish: "Tak", "Nie", "Anuluj".
    auto *qt = new QTranslator(&app);
    if (qt->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
}
} // namespace

void createForms(const std::function<void(const char *)> &created)
{
    Forms &f = forms();
    make(f.form1, "TForm1", created);
    make(f.form2S, "TForm2S", created);
    make(f.form3D, "TForm3D", created);
    make(f.formM, "TFormM", created);
    make(f.form4R, "TForm4R", created);
    make(f.form2, "TForm2", created);
    make(f.form3, "TForm3", created);
    make(f.formR1, "TFormR1", created);
    make(f.formR2, "TFormR2", created);
    make(f.formR3, "TFormR3", created);
    createToolWindows(created);
    // The dialogs stay above the main window, kept there by the window system as windows of the
    // main window, without blocking it: choosing a day in the list does not hide them.
    for (QWidget *dialog : std::initializer_list<QWidget *>{f.form3D, f.formM, f.form2, f.form3})
        if (dialog)
            dialog->setParent(f.form1, dialog->windowFlags());
}

void destroyForms()
{
    Forms &f = forms();
    destroyToolWindows();
    delete f.formR3;
    delete f.formR2;
    delete f.formR1;
    delete f.form3;
    delete f.form2;
    delete f.form4R;
    delete f.formM;
    delete f.form3D;
    delete f.form2S;
    delete f.form1;
    f = Forms{};
}

int startProgram(QApplication &app, const std::function<void(const char *)> &created)
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
        createForms(created);
    } catch (const std::exception &e) {
        splash.reset();
        reportError(e);
        destroyForms();
        return 1;
    }
    setHelpFile(QStringLiteral("POMOC.HLP"));
    splash.reset();

    TForm1 *main = forms().form1;
    const QRect screen = main->screen()->availableGeometry();
    main->adjustSize();
    main->move(screen.center() - main->rect().center());
    main->show();
    return 0;
}

int runProgram(QApplication &app)
{
    // One running copy per working directory, for the whole run; a second one writes nothing.
    WorkLock lock;
    if (!lock.acquire(QDir::currentPath())) {
        messageBox(appTitle(), WorkLock::busyMessage(), MsgIcon::Warning, Ok);
        return 2;
    }
    // A dated copy of the tables before this run writes anything; a copy that fails is told, never fatal.
    const backup::Outcome copy = backup::backupIfChanged(QDir::currentPath());
    if (copy.kind == backup::Outcome::Failed)
        messageBox(appTitle(), copy.message, MsgIcon::Warning, Ok);
    if (const int failed = startProgram(app))
        return failed;
    const int code = app.exec();
    destroyForms();
    return code;
}

} // namespace kw
