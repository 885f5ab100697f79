// Program entry: the data module first, then the import window; the event loop runs until the
// window closes, which ends the program. With --headless no window is shown (app/headless.h).
#include <QApplication>
#include <QCoreApplication>

#include "app/headless.h"
#include "app/program.h"
#include "app/view/main_window.h"
#include "app/view/qt_folder_chooser.h"
#include "app/view/qt_ui_port.h"

int main(int argc, char** argv) {
    if (app::wantsHeadless(argc, argv)) {
        QCoreApplication application(argc, argv);
        return app::runHeadless(argc, argv);
    }
    QApplication application(argc, argv);
    application.setApplicationName("importarfac");

    app::view::QtUiPort port;
    app::view::QtFolderChooser chooser;
    app::Program program(port, chooser);
    app::ImportWindow& window = program.window;
    window.dispatch([&window] { window.FormCreate(); });

    app::view::MainWindow view(window);
    port.attach(&view);
    chooser.setOwnerWindow(&view);
    view.show();
    return application.exec();
}
