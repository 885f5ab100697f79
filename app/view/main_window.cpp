#include "app/view/main_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include "app/view/button_pictures.h"
#include "app/view/qt_text.h"
#include "data/texts.h"

namespace app::view {
namespace {

constexpr QSize kOuterSize(412, 455);
constexpr int kTopHeight = 57;
constexpr int kOrigenHeight = 105;
constexpr int kBottomHeight = 52;
constexpr QSize kPanelSize(337, 41);
constexpr int kBoxHeight = 21;

// Tab leaves the date picker, as on Windows; the arrow keys still move between its parts.
class DatePicker : public QDateEdit {
  public:
    using QDateEdit::QDateEdit;

  protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

QLabel* label(QWidget* parent, const std::string& text, int x, int y) {
    auto* l = new QLabel(fromCp1252(text), parent);
    l->adjustSize();
    l->move(x, y);
    return l;
}

int translateKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_F2:
            return keys::F2;
        case Qt::Key_Escape:
            return keys::Escape;
        default:
            return 0;
    }
}

Shift translateModifiers(Qt::KeyboardModifiers modifiers) {
    Shift shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= ssShift;
    if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
    if (modifiers & Qt::AltModifier) shift |= ssAlt;
    return shift;
}

}  // namespace

MainWindow::MainWindow(Tfimportarfac& window, QWidget* parent)
    : QWidget(parent), window_(window), form_(window.form) {
    build();
    sync();
    placeOnDesktop();
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    if (qApp) qApp->removeEventFilter(this);
}

void MainWindow::build() {
    setFont(QFont("MS Sans Serif", 8));

    top_ = new QWidget(this);
    auto* description = new QLabel(fromCp1252(data::texts::kDescription), top_);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description->setGeometry(36, 1, 333, 55);

    auto addBox = [this](QWidget* parent, const char* name, TextBox& box, QRect geometry) {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(name);
        edit->setGeometry(geometry);
        if (box.password) edit->setStyleSheet("lineedit-password-character: 42");  // '*'
        connect(edit, &QLineEdit::textChanged, this, [this, &box](const QString& text) {
            if (!syncing_) box.text = toCp1252(text);
        });
        boxes_.emplace_back(edit, &box);
        return edit;
    };

    origen_ = new QGroupBox(fromCp1252(data::texts::kOrigenGroup), this);
    label(origen_, data::texts::kServidorLabel, 8, 22);
    QLineEdit* servidor = addBox(origen_, "Servidor", form_.Servidor, {72, 18, 253, kBoxHeight});
    label(origen_, data::texts::kTusuaLabel, 8, 48);
    QLineEdit* tusua = addBox(origen_, "Tusua", form_.Tusua, {72, 44, 97, kBoxHeight});
    label(origen_, data::texts::kTClaveLabel, 184, 48);
    QLineEdit* tclave = addBox(origen_, "TClave", form_.TClave, {228, 44, 97, kBoxHeight});
    label(origen_, data::texts::kCiaLabel, 8, 74);
    cia_ = addBox(origen_, "Cia", form_.Cia, {72, 70, 45, kBoxHeight});

    parametros_ = new QGroupBox(fromCp1252(data::texts::kParametrosGroup), this);
    label(parametros_, data::texts::kEFecIniLabel, 8, 24);
    fecIni_ = new DatePicker(parametros_);
    fecIni_->setObjectName("EFecIni");
    fecIni_->setGeometry(72, 20, 89, kBoxHeight);
    fecIni_->setCalendarPopup(true);
    fecIni_->setDisplayFormat("dd/MM/yyyy");
    connect(fecIni_, &QDateEdit::dateChanged, this, [this](QDate date) {
        if (!syncing_ && date.isValid())
            form_.EFecIni.date = {date.year(), date.month(), date.day()};
    });
    label(parametros_, data::texts::kEPrefLabel, 176, 24);
    epref_ = addBox(parametros_, "EPref", form_.EPref, {220, 20, 45, kBoxHeight});
    label(parametros_, data::texts::kUbicacionLabel, 8, 52);
    QLineEdit* ubicacion =
        addBox(parametros_, "Ubicacion", form_.Ubicacion, {72, 48, 201, kBoxHeight});

    auto addButton = [this](QWidget* parent, const char* name, Button& model,
                            const QPixmap& picture, QRect geometry, std::function<void()> click) {
        auto* button = new QToolButton(parent);
        button->setObjectName(name);
        button->setFont(QFont("Arial Narrow", 8));
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIcon(QIcon(picture));
        button->setIconSize(picture.size());
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(geometry);
        connect(button, &QToolButton::clicked, this, [this, click] { invoke(click); });
        buttons_.emplace_back(button, &model);
        return button;
    };
    addButton(parametros_, "SpeedButton1", form_.SpeedButton1, binocularsPicture(),
              {290, 14, 67, 59}, [this] { window_.SpeedButton1Click(); });

    progress_ = new QProgressBar(parametros_);
    progress_->setObjectName("ProgressBar1");
    progress_->setGeometry(72, 80, 255, 17);
    progress_->setTextVisible(false);
    QLineEdit* edit1 = addBox(parametros_, "Edit1", form_.Edit1, {72, 100, 254, kBoxHeight});

    auto addList = [this](const char* name, ComboBox& model, int y) {
        auto* list = new QComboBox(parametros_);
        list->setObjectName(name);
        list->setEditable(false);
        for (const std::string& item : model.items) list->addItem(fromCp1252(item));
        list->setGeometry(120, y, 145, kBoxHeight);
        connect(list, &QComboBox::currentIndexChanged, this, [this, &model](int index) {
            if (!syncing_) model.itemIndex = index;
        });
        return list;
    };
    label(parametros_, data::texts::kSeparLabel, 8, 134);
    separ_ = addList("Separ", form_.Separ, 130);
    label(parametros_, data::texts::kDelimLabel, 8, 162);
    delim_ = addList("Delim", form_.Delim, 158);

    bottom_ = new QWidget(this);
    generar_ = addButton(bottom_, "SpeedButton3", form_.SpeedButton3, diskettePicture(),
                         {8, 1, 65, 50}, [this] { window_.SpeedButton3Click(); });
    addButton(bottom_, "SpeedButton2", form_.SpeedButton2, crossPicture(), {0, 1, 65, 50},
              [this] { window_.SpeedButton2Click(); });

    panel5_ = new QLabel(this);
    panel5_->setObjectName("Panel5");
    panel5_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel5_->setAlignment(Qt::AlignCenter);
    panel5_->setAutoFillBackground(true);
    QFont panelFont = font();
    panelFont.setPointSize(10);
    panel5_->setFont(panelFont);
    QPalette navy = panel5_->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    panel5_->setPalette(navy);
    panel5_->resize(kPanelSize);

    QWidget* order[] = {servidor,  tusua, tclave,    cia_,   fecIni_, epref_,
                        ubicacion, edit1, progress_, separ_, delim_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainWindow::placeBands() {
    const int w = width();
    top_->setGeometry(0, 0, w, kTopHeight);
    origen_->setGeometry(0, kTopHeight, w, kOrigenHeight);
    bottom_->setGeometry(0, height() - kBottomHeight, w, kBottomHeight);
    parametros_->setGeometry(0, kTopHeight + kOrigenHeight, w,
                             height() - kTopHeight - kOrigenHeight - kBottomHeight);
    bottom_->findChild<QToolButton*>("SpeedButton2")->move(w - 65 - 8, 1);
    panel5_->move((w - kPanelSize.width()) / 2,
                  kTopHeight + (kOrigenHeight - kPanelSize.height()) / 2);
}

// The outer size includes the frame, which is known only once the window exists on screen.
void MainWindow::placeOnDesktop() {
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(kOuterSize - frame);
    const QRect desktop = (screen() ? screen() : QGuiApplication::primaryScreen())->geometry();
    move(desktop.x() + (desktop.width() - kOuterSize.width()) / 2,
         desktop.y() + (desktop.height() - kOuterSize.height()) / 2);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        placeOnDesktop();
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeBands();
}

void MainWindow::sync() {
    const bool wasSyncing = syncing_;
    syncing_ = true;

    setWindowTitle(fromCp1252(form_.caption));
    for (auto [edit, box] : boxes_) {
        const QString text = fromCp1252(box->text);
        if (edit->text() != text) edit->setText(text);
        edit->setEnabled(box->enabled);
        edit->setHidden(!box->visible);
        edit->setEchoMode(box->password ? QLineEdit::Password : QLineEdit::Normal);
    }

    const QDate date(form_.EFecIni.date.year, form_.EFecIni.date.month, form_.EFecIni.date.day);
    if (date.isValid() && fecIni_->date() != date) fecIni_->setDate(date);
    fecIni_->setEnabled(form_.EFecIni.enabled);

    for (auto [list, model] : {std::pair{separ_, &form_.Separ}, {delim_, &form_.Delim}}) {
        if (list->currentIndex() != model->itemIndex) list->setCurrentIndex(model->itemIndex);
        list->setEnabled(model->enabled);
    }

    const ProgressBar& bar = form_.ProgressBar1;
    progress_->setRange(bar.min, bar.max);
    progress_->setValue(bar.position);

    for (auto [button, model] : buttons_) {
        button->setText(fromCp1252(model->caption));
        button->setEnabled(model->enabled);
    }

    panel5_->setText(fromCp1252(form_.Panel5.caption));
    panel5_->setHidden(!form_.Panel5.visible);
    panel5_->raise();

    QWidget* wanted = control(form_.focused);
    if (wanted && controlName(focusWidget()) != form_.focused && wanted->isEnabled() &&
        !wanted->isHidden())
        wanted->setFocus(Qt::OtherFocusReason);

    syncing_ = wasSyncing;
}

void MainWindow::invoke(const std::function<void()>& handler) {
    readFocus();
    const bool wasBusy = busy_;
    busy_ = true;
    window_.dispatch(handler);
    busy_ = wasBusy;
    sync();
}

void MainWindow::readFocus() {
    const std::string name = controlName(focusWidget());
    if (!name.empty()) form_.focused = name;
}

QWidget* MainWindow::control(const std::string& name) const {
    if (name.empty()) return nullptr;
    return findChild<QWidget*>(QString::fromStdString(name));
}

// The named control that holds `widget` (a date picker's inner edit belongs to the picker).
std::string MainWindow::controlName(QWidget* widget) const {
    for (; widget && widget != this; widget = widget->parentWidget()) {
        if (!widget->objectName().isEmpty() && widget->parentWidget() &&
            (widget->parentWidget() == origen_ || widget->parentWidget() == parametros_ ||
             widget->parentWidget() == bottom_))
            return widget->objectName().toStdString();
    }
    return {};
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Every key the window receives comes through its platform window once, before it is
    // handed to the focused control (and, if ignored there, to the control's parents); while
    // a list is dropped down, through the list's own popup window instead.
    if (event->type() == QEvent::KeyPress && watched->isWindowType() &&
        (watched == windowHandle() || isListPopup(watched))) {
        if (!busy_) {
            const auto* keyEvent = static_cast<QKeyEvent*>(event);
            const int key = translateKey(keyEvent->key());
            const Shift shift = translateModifiers(keyEvent->modifiers());
            if (key != 0) invoke([this, key, shift] { window_.FormKeyDown(key, shift); });
        }
    } else if (event->type() == QEvent::FocusOut && (watched == cia_ || watched == epref_)) {
        // Leaving the box for another control of the window; not the window losing the
        // activation (a message box, another program) nor the model moving the focus.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (!syncing_ && !busy_ && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason)
            invoke([this] { window_.CiaExit(); });
    }
    return false;  // the key still reaches the focused control
}

bool MainWindow::isListPopup(QObject* platformWindow) const {
    for (QComboBox* list : {separ_, delim_}) {
        QWidget* popup = list->view()->window();
        if (popup != this && popup->windowHandle() == platformWindow) return true;
    }
    return false;
}

bool MainWindow::event(QEvent* event) {
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate) invoke([this] { window_.windowActivated(); });
    return result;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    TCloseAction action = caHide;
    window_.dispatch([this, &action] { window_.FormClose(action); });
    // Hidden or freed, the main window is gone and the event loop ends; the object itself
    // is destroyed by whoever created it once the loop has returned.
    if (action == caNone)
        event->ignore();
    else
        event->accept();
}

}  // namespace app::view
