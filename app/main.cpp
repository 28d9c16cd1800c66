// Program entry: the application, its title, the main window and the message
// loop. An exception that gets this far is shown by the exception display.
#include "app/Main.h"
#include "platform/ExceptionDisplay.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Vantelox SMS Repeater Installation Utility");
    int result = 0;
    try {
        formMain = new TformMain();
        formMain->show();
        result = QApplication::exec();
        delete formMain;
        formMain = nullptr;
    } catch (...) {
        platform::HandleException(std::current_exception());
    }
    return result;
}
