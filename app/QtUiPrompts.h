#pragma once

#include "app/UiPrompts.h"

class QWidget;

// The real prompts: QMessageBox and QFileDialog, modal over the main window.
class QtUiPrompts : public UiPrompts
{
public:
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    void showError(const QString &text) override;
    void showNotice(const QString &text) override;
    std::optional<QString> openFile(const QString &title, const QString &folder,
                                    const QStringList &filters, int selectedFilter) override;

private:
    QWidget *m_parent = nullptr;
};
