#pragma once
// Everything that would wait for a person or reach outside the program goes
// through this one interface: message boxes and the confirmation question, the
// save and open dialogs, the shell's open action, the clock of the notice timer
// and the application's general error display. The program uses TQtPlatform;
// tests install their own with SetPlatform.

#include <QDateTime>
#include <QString>

class QWidget;

enum class TMessageIcon { None, Information, Warning, Question, Critical };

struct TFileDialogRequest {
    QString Title;       // empty: the platform's default caption
    QString Filter;      // as "description|pattern", e.g. "*.txt|*.txt"
    QString DefaultExt;  // added to a typed name without extension ("txt")
    QString FileName;    // offered when the dialog opens
    bool OverwritePrompt = false;
    // Of Filter's types, the one a save dialog opens on when it fits the file
    // offered; SaveFileName leaves the one the user chose.
    mutable int ChosenFilter = 0;
};

class TPlatform {
  public:
    virtual ~TPlatform() = default;
    // A box with an OK button.
    virtual void MessageBox(QWidget* owner, const QString& text, const QString& caption,
                            TMessageIcon icon) = 0;
    // OK / Cancel with the question icon; true for OK.
    virtual bool Confirm(QWidget* owner, const QString& text, const QString& caption) = 0;
    // The chosen path, or an empty text when cancelled.
    virtual QString SaveFileName(QWidget* owner, const TFileDialogRequest& request) = 0;
    virtual QString OpenFileName(QWidget* owner, const TFileDialogRequest& request) = 0;
    // The shell's "open" action on a file, shown maximised; the outcome is not examined.
    virtual void ShellOpen(QWidget* owner, const QString& path) = 0;
    virtual QDateTime Now() = 0;
    // The application's general error display (the error text in a box).
    virtual void ShowError(QWidget* owner, const QString& text) = 0;
    // A password asked in a box that hides what is typed; empty when
    // cancelled. Without a person to ask, nothing is typed.
    virtual QString Password(QWidget* owner, const QString& prompt);
};

// The platform in use; TQtPlatform unless a test installed another.
TPlatform& Platform();
// Installs p (not owned); nullptr restores the real one.
void SetPlatform(TPlatform* p);

// The real implementation over QMessageBox, QFileDialog and the shell (ShellOpen.h).
class TQtPlatform : public TPlatform {
  public:
    void MessageBox(QWidget* owner, const QString& text, const QString& caption,
                    TMessageIcon icon) override;
    bool Confirm(QWidget* owner, const QString& text, const QString& caption) override;
    QString SaveFileName(QWidget* owner, const TFileDialogRequest& request) override;
    QString OpenFileName(QWidget* owner, const TFileDialogRequest& request) override;
    void ShellOpen(QWidget* owner, const QString& path) override;
    QDateTime Now() override;
    void ShowError(QWidget* owner, const QString& text) override;
    QString Password(QWidget* owner, const QString& prompt) override;
};
