#include "port_list.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QLineEdit>

namespace tarvex {
namespace {

// Qt's own combo box interface gives the current text as the name on Unix, where
// it expects a label's relation to name the box; the list has no label, so this
// one keeps the accessible name as the name and the entry as the value.
class PortListAccessible final : public QAccessibleWidget {
public:
    explicit PortListAccessible(PortList* list)
        : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return list()->currentText();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.expandable = true;
        s.expanded = list()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }

    // The entries, then the text field, as screen readers know them from any combo box.
    int childCount() const override { return 2; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(list()->view());
        if (index == 1)
            return QAccessible::queryAccessibleInterface(list()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child->object() == list()->view())
            return 0;
        if (child->object() == list()->lineEdit())
            return 1;
        return -1;
    }
    QAccessibleInterface* focusChild() const override { return child(1); }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            if (list()->view()->isVisible())
                list()->hidePopup();
            else
                list()->showPopup();
        }
    }

private:
    PortList* list() const { return static_cast<PortList*>(widget()); }
};

QAccessibleInterface* portListAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(PortList::staticMetaObject.className()))
        return new PortListAccessible(static_cast<PortList*>(object));
    return nullptr;
}

} // namespace

PortList::PortList(QWidget* parent)
    : QComboBox(parent) {
    QAccessible::installFactory(portListAccessible); // once: Qt ignores a repeat
}

void PortList::showPopup() {
    emit dropDown();
    QComboBox::showPopup();
}

} // namespace tarvex
