#pragma once

// The notepad: a small rich-text editor beside the bookkeeping. It is created once at start-up
// and lives until the program ends; closing it only hides it, so its text survives.

#include <QMainWindow>
#include <QUrl>

class QAction;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QTextCharFormat;
class QToolButton;

namespace kw {
class NotepadEdit;
class SpinButtons;
} // namespace kw

class TFormNotatnik : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormNotatnik(QWidget *parent = nullptr);
    ~TFormNotatnik() override;

    // The full path of the document's file; empty until a file is first opened or saved.
    QString fileName() const { return fileName_; }

    // The open and save dialogs' filter.
    static QString fileFilter();

    // Loads a file as Open does once the file is chosen, without asking about unsaved changes.
    // Errors are thrown ("Cannot open file %s", "Failed to Load Stream"); the current file name
    // and the modified flag then stay as they were.
    void loadFile(const QString &path);

    // Asked before the program ends: the text would go with it. False (keep running) on Cancel,
    // and on a Yes whose save was cancelled or failed.
    bool mayEndProgram();

public slots:
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormPaint();
    bool FormCloseQuery();
    void FormDestroy();
    void SelectionChange();
    void RichEditChange();
    void FileOpen();
    void FileSave();
    void FileSaveAs();
    void FilePrint();
    void FileExit();
    void EditUndo();
    void EditCut();
    void EditCopy();
    void EditPaste();
    void SelectFont();
    void BoldButtonClick();
    void ItalicButtonClick();
    void UnderlineButtonClick();
    void AlignButtonClick(int tag);
    void BulletsButtonClick();
    void FontNameChange();
    void FontSizeChange();
    void ToolButton2Click();
    void ShowHint(const QString &hint);
    // Files dropped from the file manager; the clipboard's content changed.
    void WMDropFiles(const QList<QUrl> &urls);
    void WMDrawClipboard();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenu();
    void buildToolBar();
    void buildStatusBar();
    QToolButton *toolButton(const QString &name, const QString &hint, const QString &picture);
    QAction *menuItem(QMenu *menu, const QString &name, const QString &text, const QKeySequence &key,
                      const QString &hint, void (TFormNotatnik::*handler)());

    // Asks "Czy zapisać wprowadzone zmiany %s?"; true when the operation may go on. With
    // needsSave, a Yes whose save was cancelled or failed stops the operation too.
    bool askSaveChanges(bool needsSave);
    bool save(bool saveAs);
    void writeFile(const QString &path);
    void setFileName(const QString &path);
    void mergeCurrentFormat(const QTextCharFormat &format);
    QFont currentFont() const;
    void showCaretPosition();
    void applyTextInset();

    QString fileName_;
    bool updating_ = false;
    bool placed_ = false;

    kw::NotepadEdit *RichEdit1 = nullptr;
    QComboBox *FontName = nullptr;
    QLineEdit *FontSize = nullptr;
    kw::SpinButtons *UpDown1 = nullptr;
    QToolButton *OpenButton = nullptr;
    QToolButton *SaveButton = nullptr;
    QToolButton *PrintButton = nullptr;
    QToolButton *UndoButton = nullptr;
    QToolButton *CutButton = nullptr;
    QToolButton *CopyButton = nullptr;
    QToolButton *PasteButton = nullptr;
    QToolButton *BoldButton = nullptr;
    QToolButton *ItalicButton = nullptr;
    QToolButton *UnderlineButton = nullptr;
    QToolButton *LeftAlign = nullptr;
    QToolButton *CenterAlign = nullptr;
    QToolButton *RightAlign = nullptr;
    QToolButton *BulletsButton = nullptr;
    QToolButton *ToolButton2 = nullptr;
    QButtonGroup *AlignGroup = nullptr;
    QLabel *CaretPanel = nullptr;
    QLabel *ModifiedPanel = nullptr;

    QAction *FileOpenItem = nullptr;
    QAction *FileSaveAsItem = nullptr;
    QAction *FilePrintItem = nullptr;
    QAction *FileExitItem = nullptr;
    QAction *EditUndoItem = nullptr;
    QAction *EditCutItem = nullptr;
    QAction *EditCopyItem = nullptr;
    QAction *EditPasteItem = nullptr;
    QAction *EditFontItem = nullptr;
    QAction *EditClearItem = nullptr;
};
