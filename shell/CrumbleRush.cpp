#include "platform/crashlog.h"
#include "shell/Main.h"
#include "shell/Tools.h"

#include <QApplication>

int main(int argc, char** argv) {
    InstallCrashHandler(LogFileLocation());
    PrepareEmbeddedBrowser();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Crumble Rush");
    TForm1 form;
    Form1 = &form;
    form.CreateBrowserPage();
    form.show();
    return QApplication::exec();
}
