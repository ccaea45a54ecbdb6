#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The one seam for every modal box and file dialog. The window asks through it; the app uses
// QtUiPrompts, and tests install a fake that records the calls and answers at once.
class UiPrompts
{
public:
    virtual ~UiPrompts() = default;

    // The standard error display: modal, captioned with the application title, error icon,
    // the text (already passed through TextFormat::errorText) and an OK button.
    virtual void showError(const QString &text) = 0;

    // A notice: modal, captioned with the application title, the text and an OK button.
    virtual void showNotice(const QString &text) = 0;

    // A file-open dialog. filters are "Description (*.ext)" entries; selectedFilter is the
    // 0-based entry chosen at start (or -1 for the dialog's own). Returns the chosen path,
    // or nothing when the user cancels.
    virtual std::optional<QString> openFile(const QString &title, const QString &folder,
                                            const QStringList &filters, int selectedFilter)
        = 0;
};
