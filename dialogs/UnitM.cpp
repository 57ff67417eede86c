#include "dialogs/UnitM.h"
#include "framework/Keys.h"
#include "framework/MainWindowLink.h"
#include "ledger/LedgerSchema.h"
#include "framework/Messages.h"
#include "ledger/Booking.h"

#include <QDate>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

TFormM::TFormM(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormM"));
    setWindowTitle(QStringLiteral("Miesiąc - Rok"));
    // A fixed dialog frame that stays above the main window while the user picks the period.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    // Laid out in pixels, like the main window, for a font with the metrics of Arial.
    QFont f = font();
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    setFont(f);
    setFixedSize(230, 261);

    Label1 = new QLabel(QStringLiteral("0"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->hide();

    GroupBox1 = new QGroupBox(QStringLiteral("Miesiąc "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 6, 112, 247);
    static const char *names[12] = {"Styczeń", "Luty",     "Marzec",   "Kwiecień",    "Maj",      "Czerwiec",
                                    "Lipiec",  "Sierpień", "Wrzesień", "Październik", "Listopad", "Grudzień"};
    for (int i = 0; i < 12; ++i) {
        RadioButton[i] = new QRadioButton(QString::fromUtf8(names[i]), GroupBox1);
        RadioButton[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        RadioButton[i]->setGeometry(10, 20 + i * 18, 98, 17);
        connect(RadioButton[i], &QRadioButton::clicked, this, [this, i] { RadioButtonClick(i + 1); });
        connect(RadioButton[i], &QRadioButton::toggled, this, &TFormM::followCheck);
        RadioButton[i]->installEventFilter(this);
        if (i > 0)
            setTabOrder(RadioButton[i - 1], RadioButton[i]);
    }

    GroupBox2 = new QGroupBox(QStringLiteral("Rok :"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(128, 6, 94, 52);
    Edit1 = new QLineEdit(GroupBox2);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(10, 20, 74, 22);

    Button1 = new QPushButton(QStringLiteral("Otwórz"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(138, 190, 75, 25);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Anuluj"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(138, 222, 75, 25);
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TFormM::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormM::Button2Click);
    setTabOrder(RadioButton[11], Edit1);
    setTabOrder(Edit1, Button1);
    setTabOrder(Button1, Button2);
    FormCreate();
    followCheck();
    kw::enterPressesFocusedButton(this);
}

QRadioButton *TFormM::checkedMonth() const
{
    for (QRadioButton *b : RadioButton)
        if (b->isChecked())
            return b;
    return nullptr;
}

void TFormM::followCheck()
{
    const QRadioButton *checked = checkedMonth();
    for (QRadioButton *b : RadioButton)
        b->setFocusPolicy(b == checked || !checked ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TFormM::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(e)->key();
        const int step = key == Qt::Key_Down || key == Qt::Key_Right ? 1
                         : key == Qt::Key_Up || key == Qt::Key_Left  ? -1
                                                                     : 0;
        if (step != 0) {
            int at = 0;
            while (at < 12 && RadioButton[at] != watched)
                ++at;
            if (at < 12) {
                // Focus and check move together, round the twelve months, so Enter opens the month
                // the user sees checked.
                QRadioButton *next = RadioButton[(at + step + 12) % 12];
                next->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                next->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, e);
}

QString TFormM::monthText() const
{
    return Label1->text();
}
QString TFormM::yearText() const
{
    return Edit1->text();
}

void TFormM::FormCreate()
{
    const QDate today = QDate::currentDate();
    Edit1->setText(QString::number(today.year()));
    Label1->setText(QString::number(today.month()));
    for (int i = 0; i < 12; ++i)
        if (Label1->text() == QString::number(i + 1))
            RadioButton[i]->setChecked(true);
}

void TFormM::RadioButtonClick(int month)
{
    Label1->setText(QString::number(month));
}

const QString &TFormM::badYearMessage()
{
    static const QString text = QStringLiteral("Wpisz rok cyframi (najwyżej 5 cyfr) !");
    return text;
}

void TFormM::Button1Click()
{
    const QString year = Edit1->text().trimmed();
    if (!kw::ledger::isYearText(year)) {
        kw::showMessage(badYearMessage());
        return;
    }
    // The filters read the box itself, so it must hold exactly the text that is stored.
    if (year != Edit1->text())
        Edit1->setText(year);

    kw::runCommand([&] {
        kw::ledger::openPeriod(main_->ledgerTables(), monthText(), yearText());
        main_->setYearLabel(yearText());
        main_->testCommandState(true);
        main_->refreshLights();
        hide();
        main_->refreshDayList();
    });
}

void TFormM::Button2Click()
{
    hide();
}

void TFormM::showEvent(QShowEvent *e)
{
    if (!placed_) {
        placed_ = true;
        if (QScreen *s = screen())
            move(s->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(e);
    // The keyboard starts where the choice is: on the checked month.
    if (QRadioButton *checked = checkedMonth())
        checked->setFocus(Qt::OtherFocusReason);
}
