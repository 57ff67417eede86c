#include "import/ImportError.h"

#include <QFileInfo>

namespace kw::import {

ImportError::ImportError(Kind kind, QString detail, int line)
    : std::runtime_error(detail.toStdString()), kind_(kind), detail_(std::move(detail)), line_(line)
{}

void ImportError::setFile(const QString &fileName, const QString &formatName)
{
    file_ = fileName;
    format_ = formatName;
}

QString ImportError::message() const
{
    const QString name = QFileInfo(file_).fileName();
    switch (kind_) {
    case Kind::Unreadable:
        return QStringLiteral("Nie można odczytać pliku „%1”: %2. Sprawdź, czy plik istnieje i czy wolno "
                              "Ci go czytać.")
            .arg(name, detail_);
    case Kind::Unwritable:
        return QStringLiteral("Nie można zapisać pliku „%1”: %2. Sprawdź, czy folder danych pozwala na zapis "
                              "i czy na dysku jest miejsce.")
            .arg(name, detail_);
    case Kind::Unrecognised:
        return QStringLiteral(
                   "Plik „%1” nie jest wyciągiem w żadnym ze znanych formatów (MT940, MT942, "
                   "camt.053, camt.052, OFX, CSV). Pobierz z serwisu banku wyciąg w jednym z nich.")
            .arg(name);
    case Kind::NeedsMapping:
        return QStringLiteral("W pliku „%1” nie rozpoznano kolumn z datą i kwotą. Otwórz go w oknie "
                              "„Import wyciągu”, wskaż kolumny i zapisz je jako profil banku.")
            .arg(name);
    case Kind::Refused:
        break;
    }
    const QString format = format_.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(format_);
    if (line_ > 0)
        return QStringLiteral("Plik „%1”%2 jest błędny w wierszu %3: %4. Nic nie zostało zaksięgowane; "
                              "pobierz wyciąg z banku ponownie.")
            .arg(name, format, QString::number(line_), detail_);
    return QStringLiteral("Plik „%1”%2 jest błędny: %3. Nic nie zostało zaksięgowane; pobierz wyciąg z "
                          "banku ponownie.")
        .arg(name, format, detail_);
}

} // namespace kw::import
