#include "app/HandlerGuard.h"
#include "app/QtUiPrompts.h"
#include "app/TextFormat.h"
#include "app/TfrmMain.h"
#include "app/ViewState.h"

#include <QApplication>

#include <exception>

int main(int argc, char *argv[])
{
    // The shared state exists, with its initial values, before the window.
    static ViewState viewState;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvra23"));
    // An empty display name keeps Qt from appending it to the window caption.
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationVersion(QStringLiteral(KELVRA_VERSION));
    QtUiPrompts prompts;
    try {
        TfrmMain frmMain(viewState, prompts);
        prompts.setParentWidget(&frmMain);
        frmMain.show();
        return app.exec();
    } catch (const std::exception &error) {
        HandlerGuard::report(prompts, error.what());
    } catch (...) {
        HandlerGuard::report(prompts, std::string());
    }
    return 1;
}
