// Program entry: the application, its title, the main window and the message
// loop. An exception that gets this far is shown by the exception display.
#include "app/Main.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/TerminationSignals.h"
#include "tools/About.h"

#include <QApplication>

int main(int argc, char** argv)
{
    PrepareApplication();
    QApplication app(argc, argv);
    // The application title is what message boxes carry. It is no Qt display
    // name: the platform would append that to the title of every window.
    platform::SetApplicationTitle(kProgramTitle);
    int result = 0;
    try {
        formMain = new TformMain();
        {
            // From here a logout, a shutdown or Ctrl+C closes the program the
            // way its close box does.
            platform::TerminationSignals watcher([](int) {
                if (formMain)
                    formMain->CloseOnSignal();
            });
            formMain->show();
            result = QApplication::exec();
        }
        delete formMain;
        formMain = nullptr;
    } catch (...) {
        platform::HandleException(std::current_exception());
    }
    return result;
}
