#pragma once
// The import window on screen: a thin Qt view of Tfimportarfac. It shows the FormModel,
// writes the person's edits back into it, and turns Qt's events into the window's handlers:
// keys are seen first (key preview) and still reach the focused control, leaving Cia or
// EPref runs CiaExit, the first activation runs FormActivate, the close box goes through
// FormClose. After every handler the widgets are brought in line with the model.
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/tfimportarfac.h"

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QToolButton;

namespace app::view {

class MainWindow : public QWidget {
  public:
    // Widgets are named after the controls ("Servidor", "SpeedButton3", ...).
    explicit MainWindow(Tfimportarfac& window, QWidget* parent = nullptr);
    ~MainWindow() override;

    Tfimportarfac& logic() { return window_; }

    // Shows the model: texts, enabled and visible flags, list selections, the date, the
    // progress, the message panel and the focused control.
    void sync();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void build();
    void placeBands();
    void placeOnDesktop();
    // Runs a handler: the focus is read into the model first, the widgets follow the model
    // afterwards, and a failure goes to the default failure box.
    void invoke(const std::function<void()>& handler);
    void readFocus();
    // The popup window of the separator or delimiter list.
    bool isListPopup(QObject* platformWindow) const;
    QWidget* control(const std::string& name) const;
    std::string controlName(QWidget* widget) const;

    Tfimportarfac& window_;
    FormModel& form_;

    QWidget* top_ = nullptr;
    QGroupBox* origen_ = nullptr;
    QGroupBox* parametros_ = nullptr;
    QWidget* bottom_ = nullptr;

    std::vector<std::pair<QLineEdit*, TextBox*>> boxes_;
    QLineEdit* cia_ = nullptr;
    QLineEdit* epref_ = nullptr;
    QDateEdit* fecIni_ = nullptr;
    QComboBox* separ_ = nullptr;
    QComboBox* delim_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* panel5_ = nullptr;
    std::vector<std::pair<QToolButton*, Button*>> buttons_;
    QToolButton* generar_ = nullptr;

    bool syncing_ = false;  // widgets being set from the model: not the person's doing
    bool busy_ = false;     // a handler is running: no other one may start from an event
    bool placed_ = false;
};

}  // namespace app::view
