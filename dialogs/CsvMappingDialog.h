#pragma once

#include "import/CsvProfile.h"

#include <QByteArray>
#include <QDialog>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace kw {

// The step for a table whose columns this program does not know: which column holds what, saved
// under a name as a profile for the next file of that bank.
class CsvMappingDialog : public QDialog
{
    Q_OBJECT
public:
    // The table's bytes; the profile is saved into the data folder.
    CsvMappingDialog(const QByteArray &bytes, const QString &folder, const QString &fileName,
                     QWidget *parent = nullptr);
    // The profile as the boxes set it; nothing until the date and an amount are chosen and named.
    std::optional<import::CsvProfile> profile() const;
    // Saves the profile and closes; the message names what is missing.
    void ZapiszClick();

    QTableWidget *preview() const { return preview_; }

private:
    void reload();
    void refreshPreview();

    QByteArray bytes_;
    QString folder_;
    QComboBox *separator_;
    QComboBox *encoding_;
    QSpinBox *header_;
    QSpinBox *skip_;
    std::vector<std::pair<int import::CsvColumns::*, QComboBox *>> columns_;
    QLineEdit *name_;
    QTableWidget *preview_;
    QList<QStringList> rows_; // the first rows of the table as the boxes split it
};

} // namespace kw
