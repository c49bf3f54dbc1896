#include "app/MainForm.h"
#include "app/QtTranslations.h"
#include "cli/CommandLine.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // A package's checks and a script ask for the version without a display.
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
        std::printf("ツバメ便 %d.%d.%d (%d)\n", TSUBAME_VERSION_MAJOR, TSUBAME_VERSION_MINOR, TSUBAME_VERSION_PATCH,
                    TSUBAME_BUILD_NUMBER);
        return 0;
    }
    // The commands of the command line run without a window.
    if (const std::optional<int> code = RunCommandLine(argc, argv))
        return *code;
    // Without a display the toolkit would abort; say so plainly instead.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("ツバメ便: 画面(ディスプレイ)がありません。デスクトップで起動するか DISPLAY を設定してください。\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("ツバメ便"));
    // The installed menu entry and icon: the desktop matches the window to its entry by this
    // name, and the theme holds the icon when the package is installed.
    QGuiApplication::setDesktopFileName(QStringLiteral("tsubame"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tsubame")));
    QtTranslations::install(app);
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSize(10);
    QApplication::setFont(font);

    TMainForm form;
    if (!form.startedOk())
        return 1;
    form.show();
    return app.exec();
}
