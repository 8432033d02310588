#include "platform/crashlog.h"
#include "shell/Demo.h"
#include "shell/Main.h"
#include "shell/Tools.h"

#include <QApplication>
#include <string>

int main(int argc, char** argv) {
    InstallCrashHandler(LogFileLocation());
    PrepareEmbeddedBrowser();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Crumble Rush");
    // The stand at a fair: the game plays itself until someone presses a key or clicks.
    if (argc > 1 && std::string(argv[1]) == "--demo") return RunDemo();
    TForm1 form;
    Form1 = &form;
    form.CreateBrowserPage();
    form.show();
    return QApplication::exec();
}
