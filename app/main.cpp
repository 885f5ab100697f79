// Program entry: the data module first, then the import window; the event loop runs until the
// window closes, which ends the program.
#include <QApplication>

#include "app/import_window.h"
#include "app/view/main_window.h"
#include "app/view/qt_folder_chooser.h"
#include "app/view/qt_ui_port.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName("importarfac");

    // The data module is created here, before the window: the window's providers and
    // buffers bind to its datasets when the window is created.

    app::view::QtUiPort port;
    app::view::QtFolderChooser chooser;
    app::Tfimportarfac window(port, chooser);
    window.dispatch([&window] { window.FormCreate(); });

    app::view::MainWindow view(window);
    port.attach(&view);
    chooser.setOwnerWindow(&view);
    view.show();
    return application.exec();
}
