// A Qt generic plugin that the screen test loads into the shipped program through
// QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS=importarfac-inspect:<file>. The program itself
// has no test hooks: the plugin only looks. Once a top-level window has been exposed and had
// time to paint, it writes every visible top-level window with all its widgets (kind, name,
// geometry, texts, state, fonts, tab order) as JSON to <file>. The file appears whole
// (written beside it, then renamed), so its presence tells the test that the window is up.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QFontInfo>
#include <QGenericPlugin>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSaveFile>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace {

QJsonArray rectJson(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

QJsonObject fontJson(const QFont& font) {
    const QFontInfo used(font);
    return {{"family", font.family()},
            {"pointSize", font.pointSize()},
            {"usedFamily", used.family()},
            {"usedStyle", used.styleName()}};
}

QJsonObject widgetJson(QWidget* w, QWidget* top) {
    QJsonObject o{{"class", w->metaObject()->className()},
                  {"name", w->objectName()},
                  {"rect", rectJson(QRect(w->mapTo(top, QPoint(0, 0)), w->size()))},
                  {"visible", w->isVisibleTo(top)},
                  {"enabled", w->isEnabled()},
                  {"focus", w->hasFocus()},
                  {"font", fontJson(w->font())}};
    // The nearest ancestor that is a group box or has a name: where the widget sits.
    for (QWidget* p = w->parentWidget(); p && p != top; p = p->parentWidget()) {
        if (auto* g = qobject_cast<QGroupBox*>(p)) {
            o["group"] = g->title();
            break;
        }
    }
    if (w->parentWidget()) o["parentName"] = w->parentWidget()->objectName();
    o["windowText"] = w->palette().color(QPalette::WindowText).name();

    if (auto* l = qobject_cast<QLabel*>(w)) {
        o["text"] = l->text();
        o["wordWrap"] = l->wordWrap();
        o["frameShape"] = int(l->frameShape());
        o["frameShadow"] = int(l->frameShadow());
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        o["text"] = e->text();
        o["displayText"] = e->displayText();
        o["password"] = e->echoMode() == QLineEdit::Password;
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        o["title"] = g->title();
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        QJsonArray items;
        for (int i = 0; i < c->count(); ++i) items.append(c->itemText(i));
        o["items"] = items;
        o["current"] = c->currentText();
        o["editable"] = c->isEditable();
    } else if (auto* d = qobject_cast<QDateTimeEdit*>(w)) {
        o["text"] = d->text();
        o["date"] = d->date().toString(Qt::ISODate);
    } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
        o["minimum"] = p->minimum();
        o["maximum"] = p->maximum();
        o["value"] = p->value();
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        o["text"] = b->text();
        o["hasIcon"] = !b->icon().isNull();
        if (auto* t = qobject_cast<QToolButton*>(w)) {
            o["textUnderIcon"] = t->toolButtonStyle() == Qt::ToolButtonTextUnderIcon;
            o["flat"] = t->autoRaise();
        }
    }
    return o;
}

QJsonObject windowJson(QWidget* top) {
    QJsonArray widgets;
    for (QWidget* w : top->findChildren<QWidget*>()) widgets.append(widgetJson(w, top));
    // The tab order: the focus chain from the window round to itself, named controls only.
    QJsonArray tabOrder;
    QWidget* w = top->nextInFocusChain();
    for (int guard = 0; w && w != top && guard < 1000; ++guard, w = w->nextInFocusChain())
        if (!w->objectName().isEmpty() && w->focusPolicy() & Qt::TabFocus)
            tabOrder.append(w->objectName());
    return {{"class", top->metaObject()->className()},
            {"title", top->windowTitle()},
            {"geometry", rectJson(top->geometry())},
            {"frameGeometry", rectJson(top->frameGeometry())},
            {"active", top->isActiveWindow()},
            {"modal", top->isModal()},
            {"font", fontJson(top->font())},
            {"tabOrder", tabOrder},
            {"widgets", widgets}};
}

class Inspector : public QObject {
  public:
    explicit Inspector(QString path) : path_(std::move(path)) {
        poll_.setInterval(50);
        connect(&poll_, &QTimer::timeout, this, &Inspector::check);
        // The application object is still being built; the timer runs once its loop does.
        QTimer::singleShot(0, this, [this] { poll_.start(); });
    }

  private:
    void check() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top->windowHandle() && top->windowHandle()->isExposed()) {
                poll_.stop();
                // Let the first paints and any box opened at start settle.
                QTimer::singleShot(700, this, &Inspector::write);
                return;
            }
        }
    }

    void write() {
        QJsonArray windows;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible()) windows.append(windowJson(top));
        QSaveFile file(path_);
        if (!file.open(QIODevice::WriteOnly)) {
            qWarning("importarfac-inspect: cannot write %s", qPrintable(path_));
            return;
        }
        file.write(QJsonDocument(QJsonObject{{"windows", windows}}).toJson());
        if (!file.commit()) qWarning("importarfac-inspect: cannot write %s", qPrintable(path_));
    }

    QString path_;
    QTimer poll_;
};

// Follows the window while it works: after every paint of a top-level window (the program
// paints when its run has the window repainted, between its long steps) it writes, into its
// folder, the window as Qt renders it (state-<n>.png) and then its widgets with that number
// (state.json, {"seq": n, "window": ...}). A reader that sees the same number before and
// after grabbing the screen has grabbed what the widgets held.
class Watcher : public QObject {
  public:
    explicit Watcher(QString dir) : dir_(std::move(dir)) { qApp->installEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !pending_) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && w->isWindow() && w->isVisible()) {
                pending_ = true;  // once the paint is done, in the next round of events
                QMetaObject::invokeMethod(this, [this, w] { write(w); }, Qt::QueuedConnection);
            }
        }
        return false;
    }

  private:
    void write(QWidget* top) {
        pending_ = false;
        if (!QApplication::topLevelWidgets().contains(top) || !top->isVisible()) return;
        ++seq_;
        top->grab().save(dir_ + QString("/state-%1.png").arg(seq_));
        QSaveFile file(dir_ + "/state.json");
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(QJsonDocument(QJsonObject{{"seq", seq_}, {"window", windowJson(top)}}).toJson());
        file.commit();
    }

    QString dir_;
    int seq_ = 0;
    bool pending_ = false;
};

}  // namespace

class InspectPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "widget_dump_plugin.json")

  public:
    // The text after the plugin's name in QT_QPA_GENERIC_PLUGINS is the dump's path
    // ("importarfac-inspect") or the folder of the states followed ("importarfac-watch").
    QObject* create(const QString& key, const QString& path) override {
        if (path.isEmpty()) return nullptr;
        if (key.compare("importarfac-inspect", Qt::CaseInsensitive) == 0)
            return new Inspector(path);
        if (key.compare("importarfac-watch", Qt::CaseInsensitive) == 0) return new Watcher(path);
        return nullptr;
    }
};

#include "widget_dump_plugin.moc"
