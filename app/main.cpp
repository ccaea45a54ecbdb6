#include "app/HandlerGuard.h"
#include "app/QtUiPrompts.h"
#include "app/TextFormat.h"
#include "app/TfrmMain.h"
#include "app/ViewState.h"

#include <QApplication>
#include <QIcon>

#include <array>
#include <cstdio>
#include <exception>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view kUsage
    = "Usage: kelvra23 [--help | --version]\n"
      "Shows the frames of a serial grey-scale camera as a 3D relief. The window has all the\n"
      "controls; frame files are kept in the working directory.\n"
      "\n"
      "Options:\n"
      "  --help     show this help\n"
      "  --version  show the version\n";

// The sizes of the icon in the resource, as rendered from the SVG.
constexpr std::array kIconSizes {16, 32, 48, 64, 128, 256};

// Answers --help and --version before any window system is needed, so both work without a
// display. Returns the exit status when one was answered; other arguments are left to Qt.
std::optional<int> answerInfoOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("kelvra23 %s\n", KELVRA_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return 0;
        }
    }
    return std::nullopt;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : kIconSizes)
        icon.addFile(QStringLiteral(":/icons/kelvra23-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerInfoOption(argc, argv))
        return *status;

    // The shared state exists, with its initial values, before the window.
    static ViewState viewState;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvra23"));
    // An empty display name keeps Qt from appending it to the window caption.
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationVersion(QStringLiteral(KELVRA_VERSION));
    QApplication::setWindowIcon(applicationIcon());
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
